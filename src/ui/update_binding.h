#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "update/update_failure.h"
#include "update/update_inputs.h"

namespace quendrel {

class FrmMain;

struct TakenInputs {
    UpdateInputs inputs;
    // The port box held a number no port can have.
    std::optional<UpdateFailure> failure;
};

// Reads what an update cycle needs from the window, once, trimmed. A port
// box that is empty or holds no number gets "21" back.
TakenInputs TakeUpdateInputs(FrmMain& window, const QDateTime& now, const QString& programDirectory);

}  // namespace quendrel
