#pragma once

class QWidget;

namespace quendrel {

class SettingsModel;

// Binds each control named in the settings key table (found in view by its
// objectName) to its setting, both ways: the control shows the value now
// and whenever it changes, and a change of the control (typed, clicked, or
// by a rule of the window) sets the value. An editable combo box also gets
// the list of IP web pages. The bindings end with the view.
void BindSettings(QWidget& view, SettingsModel& model);

}  // namespace quendrel
