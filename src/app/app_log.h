#pragma once

#include <QLoggingCategory>

namespace quendrel {

// The command line's and the instance channel's log: which program runs an
// update, and why a channel does not listen or drops a client.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

}  // namespace quendrel
