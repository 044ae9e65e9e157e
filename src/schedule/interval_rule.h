#pragma once

#include <QString>

#include <optional>

#include "settings/settings_keys.h"

namespace quendrel {

// What the interval box's rules decide about its text.
struct IntervalVerdict {
    // A message to show first (the user must acknowledge it), or empty.
    QString message;
    // A text to put back into the box, or nothing to leave it.
    std::optional<QString> replacementText;
    // A value for the slider, or nothing to leave it.
    std::optional<int> sliderValue;
};

// The box's text changed (typed or set): keep it and the slider in range.
// 1 to 4 and negatives are let be, since the user may still be typing.
IntervalVerdict IntervalTextChanged(const QString& text);

// The box lost the focus: a text that is no number or below 5 becomes "5".
IntervalVerdict IntervalFocusLost(const QString& text);

}  // namespace quendrel
