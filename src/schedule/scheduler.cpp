#include "schedule/scheduler.h"

namespace quendrel {

bool SchedulerTick(ProgramState& state, const TickInputs& inputs)
{
    if (inputs.cycleRunning)
        return false;
    if (inputs.updateOnStart && state.StartPending) {
        if (state.TickCounter < kStartDelayTicks && inputs.delayOnStart) {
            ++state.TickCounter;
            return false;
        }
        state.StartPending = false;
        state.TickCounter = 0;
        return true;
    }
    if (state.TickCounter < inputs.intervalMinutes * kTicksPerMinute) {
        ++state.TickCounter;
        return false;
    }
    state.TickCounter = 0;
    return true;
}

}  // namespace quendrel
