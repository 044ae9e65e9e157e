#include "update/local_ip.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "common/file_io.h"
#include "common/number_text.h"

namespace quendrel {

namespace {

constexpr int kHostNameSize = 256;

// The address flags of /proc/net/if_inet6 (IFA_F_* in linux/if_addr.h).
constexpr unsigned kTemporary = 0x01, kFailed = 0x08, kDeprecated = 0x20, kTentative = 0x40;
constexpr unsigned kNotForVisitors = kTemporary | kFailed | kDeprecated | kTentative;

// One line: the address as 32 hex digits, then the interface's index, the
// prefix length, the scope and the flags in hex, and the interface's name.
std::optional<QString> GlobalIPv6FromLine(const QByteArray& line)
{
    const QList<QByteArray> fields = line.simplified().split(' ');
    bool flagsRead = false;
    const unsigned flags = fields.size() == 6 ? fields[4].toUInt(&flagsRead, 16) : 0;
    const QByteArray raw = fields[0].size() == 32 ? QByteArray::fromHex(fields[0]) : QByteArray();
    if (!flagsRead || raw.size() != 16 || (flags & kNotForVisitors))
        return std::nullopt;
    // Global unicast: the first three bits 001.
    if ((static_cast<unsigned char>(raw[0]) & 0xE0) != 0x20)
        return std::nullopt;
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET6, raw.constData(), text, sizeof text))
        return std::nullopt;
    return QString::fromLatin1(text);
}

QString HostName()
{
    char name[kHostNameSize + 1] = {};
    // One byte is kept back, so a cut name still ends in a zero.
    if (gethostname(name, kHostNameSize) != 0)
        return QString();
    return TrimSpaces(QString::fromLocal8Bit(name));
}

// One lookup of getaddrinfo_a: it must stay in place until the resolver's
// thread is done with it.
struct PendingLookup {
    QByteArray name;
    addrinfo hints{};
    gaicb request{};
};

using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// Waits for the lookup in short slices, so that a stop request is seen.
// Nothing when it failed or was stopped.
AddressList AwaitLookup(std::unique_ptr<PendingLookup> lookup, const std::stop_token& stop)
{
    const timespec slice{0, 100'000'000};
    int state = EAI_INPROGRESS;
    while ((state = gai_error(&lookup->request)) == EAI_INPROGRESS) {
        if (stop.stop_requested()) {
            if (gai_cancel(&lookup->request) == EAI_NOTCANCELED) {
                // Still running in the resolver's thread, which will write to
                // it: left to the process's end, which is what a stop means.
                (void)lookup.release();
                return AddressList(nullptr, &freeaddrinfo);
            }
            state = gai_error(&lookup->request);
            break;
        }
        const gaicb* waiting[] = {&lookup->request};
        gai_suspend(waiting, 1, &slice);
    }
    AddressList found(state == 0 ? lookup->request.ar_result : nullptr, &freeaddrinfo);
    return stop.stop_requested() ? AddressList(nullptr, &freeaddrinfo) : std::move(found);
}

QList<in_addr> ResolveIPv4(const QString& host, const std::stop_token& stop)
{
    if (host.isEmpty())
        return {};
    auto lookup = std::make_unique<PendingLookup>();
    lookup->name = host.toLocal8Bit();
    lookup->hints.ai_family = AF_INET;
    // One entry per address rather than one per socket type.
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->name.constData();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    if (getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0)
        return {};
    const AddressList found = AwaitLookup(std::move(lookup), stop);
    QList<in_addr> addresses;
    for (const addrinfo* entry = found.get(); entry; entry = entry->ai_next)
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

QStringList GlobalIPv6Addresses(const QByteArray& ifInet6)
{
    QStringList addresses;
    for (const QByteArray& line : ifInet6.split('\n')) {
        const std::optional<QString> address = GlobalIPv6FromLine(line);
        if (address && !addresses.contains(*address))
            addresses.append(*address);
    }
    return addresses;
}

QString GetLocalIP(std::stop_token stop, bool withIPv6)
{
    const QString ipv4 = JoinAddresses(ResolveIPv4(HostName(), stop));
    if (!withIPv6)
        return ipv4;
    QStringList all = GlobalIPv6Addresses(ReadWholeFile(QStringLiteral("/proc/net/if_inet6")).value_or(QByteArray()));
    if (!ipv4.isEmpty())
        all.prepend(ipv4);
    return all.join(QStringLiteral(", "));
}

}  // namespace quendrel
