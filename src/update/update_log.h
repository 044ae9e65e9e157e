#pragma once

#include <QLoggingCategory>

namespace quendrel {

// The update cycle's log: one line per step and its outcome, at the info
// level (failures as warnings), both shown without any logging rules.
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

}  // namespace quendrel
