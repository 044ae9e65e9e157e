#include "app/system_events.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QMetaEnum>

#include "app/app_log.h"

namespace quendrel {

namespace {

using Reachability = QNetworkInformation::Reachability;

const char* Named(Reachability reachability)
{
    return QMetaEnum::fromType<Reachability>().valueToKey(int(reachability));
}

}  // namespace

bool NetworkCameBack(std::optional<Reachability> lastKnown, Reachability now)
{
    return now == Reachability::Online && lastKnown && *lastKnown != Reachability::Online
           && *lastKnown != Reachability::Unknown;
}

DesktopSystemEvents::DesktopSystemEvents(QObject* parent)
    : SystemEvents(parent)
{
    WatchReachability();
    WatchSleep();
}

void DesktopSystemEvents::WatchReachability()
{
    if (!QNetworkInformation::loadDefaultBackend()) {
        qCDebug(lcApp, "No network information backend: network changes are not watched");
        return;
    }
    const QNetworkInformation* info = QNetworkInformation::instance();
    qCDebug(lcApp, "Network changes watched through %s; the network is %s", qUtf8Printable(info->backendName()),
            Named(info->reachability()));
    if (info->reachability() != Reachability::Unknown)
        lastKnown_ = info->reachability();
    connect(info, &QNetworkInformation::reachabilityChanged, this, &DesktopSystemEvents::OnReachabilityChanged);
}

void DesktopSystemEvents::OnReachabilityChanged(Reachability now)
{
    const bool cameBack = NetworkCameBack(lastKnown_, now);
    if (now != Reachability::Unknown)
        lastKnown_ = now;
    if (!cameBack) {
        qCDebug(lcApp, "The network is %s", Named(now));
        return;
    }
    qCInfo(lcApp, "The network came back");
    emit NetworkRestored();
}

void DesktopSystemEvents::WatchSleep()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()
        || !bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                        SLOT(OnPrepareForSleep(bool))))
        qCDebug(lcApp, "Wakes from suspend are not watched: %s", qUtf8Printable(bus.lastError().message()));
}

void DesktopSystemEvents::OnPrepareForSleep(bool sleeping)
{
    if (sleeping) {
        qCDebug(lcApp, "The computer goes to sleep");
        return;
    }
    qCInfo(lcApp, "The computer woke");
    emit Woke();
}

}  // namespace quendrel
