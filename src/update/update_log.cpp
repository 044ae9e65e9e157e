#include "update/update_log.h"

namespace quendrel {

Q_LOGGING_CATEGORY(lcUpdate, "quendrel.update")

}  // namespace quendrel
