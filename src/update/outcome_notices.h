#pragma once

#include <QString>

#include <optional>

namespace quendrel {

// A desktop notification about how updates go.
struct Notice {
    QString text;
    bool warning = false;  // shown as a warning rather than as news
};

// Decides, from one update's outcome after another, what is worth telling
// the user: the published address changed, updates started failing (once
// for a whole run of failures), they work again, and the address published
// cannot be reached from the Internet (once for that address). The first
// address of a run is no change: there is nothing to compare it with.
class OutcomeNotices {
public:
    // After an update that published these addresses (one, or several
    // joined by ", ").
    std::optional<Notice> AfterSuccess(const QString& addresses);
    // After an update that failed with this status text.
    std::optional<Notice> AfterFailure(const QString& message);

private:
    QString published_;
    bool failing_ = false;
    // The unreachable addresses already warned about; empty once a
    // reachable one was published.
    QString warnedUnreachable_;
};

}  // namespace quendrel
