#pragma once

class QWidget;

namespace quendrel {

// Moves a top-level window, frame included, to the middle of its screen's
// free area.
void CentreOnScreen(QWidget& window);

}  // namespace quendrel
