#pragma once

#include <QString>

#include <functional>

namespace quendrel {

// Receives the status texts of an update cycle, in order, as its steps
// reach them. Called on the thread that runs the cycle.
using StatusReporter = std::function<void(const QString& text)>;

}  // namespace quendrel
