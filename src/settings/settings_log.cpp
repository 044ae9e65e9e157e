#include "settings/settings_log.h"

namespace quendrel {

Q_LOGGING_CATEGORY(lcSettings, "quendrel.settings")

}  // namespace quendrel
