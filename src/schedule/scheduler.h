#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

#include "common/program_state.h"

namespace quendrel {

class SettingsModel;

// What the tick reads from the settings, afresh each second.
struct TickInputs {
    bool updateOnStart = false;   // "Update on Start:" checked
    bool delayOnStart = false;    // "-> Delay 5 Min" checked
    int intervalMinutes = 15;     // the interval setting
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

// Owns the one-second timer (Timer1) and asks for the updates that are due.
class Scheduler : public QObject {
    Q_OBJECT

public:
    Scheduler(ProgramState& state, const SettingsModel& settings, std::function<bool()> cycleRunning,
              QObject* parent = nullptr);

    void Start() { Timer1.start(); }
    void Stop() { Timer1.stop(); }
    bool IsActive() const { return Timer1.isActive(); }

    // One tick, as the timer runs it.
    void Tick();

signals:
    void UpdateDue();

private:
    ProgramState& state_;
    const SettingsModel& settings_;
    std::function<bool()> cycleRunning_;
    QTimer Timer1;
};

}  // namespace quendrel
