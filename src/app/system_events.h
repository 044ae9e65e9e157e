#pragma once

#include <QNetworkInformation>
#include <QObject>

#include <optional>

namespace quendrel {

// Tells when the network came back or the computer woke. This one never
// does; tests raise its signals themselves.
class SystemEvents : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void NetworkRestored();
    void Woke();
};

// Whether a change of reachability means the network came back. Online
// follows a state without the Internet: Disconnected, or Local and Site (a
// network without a way out, such as a captive portal before sign-in). Unknown
// says nothing: it is skipped, so Disconnected, Unknown, Online is a return
// and Online, Unknown, Online is none. Nothing known before (the first
// report after start) is no return either.
bool NetworkCameBack(std::optional<QNetworkInformation::Reachability> lastKnown,
                     QNetworkInformation::Reachability now);

// The desktop's events: reachability from Qt's network information (the
// NetworkManager backend on Linux) and the end of a suspend from logind's
// PrepareForSleep on the system bus. Where either is missing (no system bus,
// no NetworkManager, a container) it stays silent, logging at debug only.
class DesktopSystemEvents : public SystemEvents {
    Q_OBJECT

public:
    explicit DesktopSystemEvents(QObject* parent = nullptr);

private slots:
    void OnPrepareForSleep(bool sleeping);

private:
    void WatchReachability();
    void WatchSleep();
    void OnReachabilityChanged(QNetworkInformation::Reachability now);

    std::optional<QNetworkInformation::Reachability> lastKnown_;
};

}  // namespace quendrel
