#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

#include "common/program_state.h"

namespace quendrel {

// Milliseconds since boot, suspended time included.
qint64 MillisecondsSinceBoot();

struct CatchUpTiming {
    // How long the network gets to settle after the last event.
    std::chrono::milliseconds settle{10'000};
    // The least time between two updates asked for here.
    std::chrono::milliseconds minimumGap{60'000};
    // Milliseconds on a clock that goes on while the computer sleeps: a
    // night's suspend is longer than minimumGap, however short the run.
    std::function<qint64()> clock = MillisecondsSinceBoot;
};

// Asks for one update a while after the network came back or the computer
// woke, when the address may well have changed. Events that come within the
// settling delay of each other wait for the last, so a wake followed by the
// reconnect it brings gives one update once both are over. At most one
// update a minute comes from here (one due sooner waits for the minute's
// end), never while a cycle runs; it starts the interval's count again as a
// scheduled update does, and takes the place of a start-up update not yet run.
class CatchUpUpdate : public QObject {
    Q_OBJECT

public:
    // Decisions are logged in log.
    CatchUpUpdate(ProgramState& state, std::function<bool()> cycleRunning, const QLoggingCategory& log,
                  CatchUpTiming timing = {}, QObject* parent = nullptr);

    void SetTiming(CatchUpTiming timing) { timing_ = std::move(timing); }

    // The network came back or the computer woke.
    void EventSeen();
    // An update cycle has ended, whatever started it.
    void CycleEnded();
    // Asks for the update if it is due, as the settling timer runs it.
    void Check();
    // When, on the clock, the settling timer runs Check next; none when it does not.
    std::optional<qint64> NextCheck() const;

signals:
    void UpdateDue();

private:
    bool WithinGap(qint64 now) const;

    ProgramState& state_;
    std::function<bool()> cycleRunning_;
    const QLoggingCategory& log_;
    CatchUpTiming timing_;
    QTimer settle_;
    bool pending_ = false;
    qint64 deadline_ = 0;
    std::optional<qint64> lastAsked_;
};

}  // namespace quendrel
