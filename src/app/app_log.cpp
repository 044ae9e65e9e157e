#include "app/app_log.h"

namespace quendrel {

Q_LOGGING_CATEGORY(lcApp, "quendrel.app")

}  // namespace quendrel
