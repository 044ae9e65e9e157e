#pragma once

#include "common/program_state.h"

namespace quendrel {

// What the tick reads from the window, afresh each second.
struct TickInputs {
    bool updateOnStart = false;   // "Update on Start:" checked
    bool delayOnStart = false;    // "-> Delay 5 Min" checked
    int intervalMinutes = 15;     // the slider's value
    bool cycleRunning = false;    // an update cycle has not finished yet
};

inline constexpr int kTicksPerMinute = 60;
inline constexpr int kStartDelayTicks = 300;

// One tick of the one-second timer. Counts it in TickCounter, or, when an
// update is due, resets the counter (and StartPending for the start-up
// update) and returns true: the caller then runs the update. While a cycle
// runs the tick is not counted, so the time a cycle takes is never counted
// towards the next one.
bool SchedulerTick(ProgramState& state, const TickInputs& inputs);

}  // namespace quendrel
