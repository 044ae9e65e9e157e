#include "schedule/scheduler.h"

#include "settings/settings_model.h"

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

Scheduler::Scheduler(ProgramState& state, const SettingsModel& settings, std::function<bool()> cycleRunning,
                     QObject* parent)
    : QObject(parent), state_(state), settings_(settings), cycleRunning_(std::move(cycleRunning))
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &Scheduler::Tick);
}

void Scheduler::Tick()
{
    const TickInputs inputs{settings_.IsOn(Setting::CheckOnStart), settings_.IsOn(Setting::DelayCheckOnStart),
                            settings_.Number(Setting::Interval), cycleRunning_ && cycleRunning_()};
    if (SchedulerTick(state_, inputs))
        emit UpdateDue();
}

}  // namespace quendrel
