#pragma once

#include <QString>
#include <QtGlobal>

namespace quendrel {

// State that lives for the whole run and is shared by the scheduler, the
// update cycle and the tray. Only the window thread touches it.
struct ProgramState {
    // Address found by the last successful update; empty at start and after a failure.
    QString CurrentIP;
    // Scheduler ticks (seconds) counted since the last scheduled update.
    qint32 TickCounter = 0;
    // True until the update that follows start-up has been started.
    bool StartPending = false;
};

}  // namespace quendrel
