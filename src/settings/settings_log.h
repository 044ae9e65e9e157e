#pragma once

#include <QLoggingCategory>

namespace quendrel {

// The stored files' log: a file left as it is and why, copies removed.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

}  // namespace quendrel
