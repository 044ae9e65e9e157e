#include "schedule/catch_up_update.h"

#include <ctime>

namespace quendrel {

qint64 MillisecondsSinceBoot()
{
    // CLOCK_MONOTONIC (QElapsedTimer, steady_clock) stops during suspend.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

CatchUpUpdate::CatchUpUpdate(ProgramState& state, std::function<bool()> cycleRunning, const QLoggingCategory& log,
                             CatchUpTiming timing, QObject* parent)
    : QObject(parent), state_(state), cycleRunning_(std::move(cycleRunning)), log_(log), timing_(std::move(timing))
{
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &CatchUpUpdate::Check);
}

void CatchUpUpdate::EventSeen()
{
    if (pending_)
        qCDebug(log_, "The update waits %lld ms from this event on", qlonglong(timing_.settle.count()));
    pending_ = true;
    deadline_ = timing_.clock() + timing_.settle.count();
    settle_.start(timing_.settle);
}

void CatchUpUpdate::CycleEnded()
{
    if (pending_)
        Check();
}

bool CatchUpUpdate::WithinGap(qint64 now) const
{
    return lastAsked_ && now - *lastAsked_ < timing_.minimumGap.count();
}

std::optional<qint64> CatchUpUpdate::NextCheck() const
{
    return settle_.isActive() ? std::optional(deadline_) : std::nullopt;
}

void CatchUpUpdate::Check()
{
    settle_.stop();
    if (!pending_)
        return;
    const qint64 now = timing_.clock();
    if (now < deadline_) {  // a cycle ended within the delay
        settle_.start(std::chrono::milliseconds(deadline_ - now));
        return;
    }
    if (cycleRunning_ && cycleRunning_()) {
        // Put off, not dropped: the running cycle may have begun before the
        // network came back and found the address from before, or failed for
        // want of a network. The user expects the page to be brought up to
        // date, so the update runs when that cycle ends.
        qCDebug(log_, "An update runs: the update after the network change waits for its end");
        return;
    }
    if (WithinGap(now)) {
        // Put off to the minute's end, not dropped: after a wake the first
        // update often runs before the network is back, and the event that
        // says it is back would otherwise be lost until the next interval.
        deadline_ = *lastAsked_ + timing_.minimumGap.count();
        settle_.start(std::chrono::milliseconds(deadline_ - now));
        qCDebug(log_, "The update after the network change waits until %lld s after the last one",
                qlonglong(timing_.minimumGap.count() / 1000));
        return;
    }
    pending_ = false;
    lastAsked_ = now;
    state_.TickCounter = 0;
    // It stands in for a start-up update still to come, which would only
    // repeat it.
    state_.StartPending = false;
    qCInfo(log_, "Update after the network came back or the computer woke");
    emit UpdateDue();
}

}  // namespace quendrel
