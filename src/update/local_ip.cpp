#include "update/local_ip.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "common/number_text.h"

namespace quendrel {

namespace {

constexpr int kHostNameSize = 256;

QString HostName()
{
    char name[kHostNameSize + 1] = {};
    // One byte is kept back, so a cut name still ends in a zero.
    if (gethostname(name, kHostNameSize) != 0)
        return QString();
    return TrimSpaces(QString::fromLocal8Bit(name));
}

QList<in_addr> ResolveIPv4(const QString& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address rather than one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.isEmpty() || getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &found) != 0)
        return {};
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    QList<in_addr> addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
        if (entry->ai_family == AF_INET && entry->ai_addr)
            addresses.append(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr);
    return addresses;
}

}  // namespace

QString JoinAddresses(const QList<in_addr>& addresses)
{
    QStringList texts;
    for (const in_addr& address : addresses) {
        char text[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &address, text, sizeof text))
            continue;
        const QString dotted = QString::fromLatin1(text);
        if (!texts.contains(dotted))
            texts.append(dotted);
    }
    return texts.join(QStringLiteral(", "));
}

QString GetLocalIP()
{
    return JoinAddresses(ResolveIPv4(HostName()));
}

}  // namespace quendrel
