#include "update/address_reach.h"

#include <QStringList>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace quendrel {

namespace {

struct Range {
    std::uint32_t first;
    int prefix;
    AddressReach reach;
};

constexpr std::array<Range, 6> kIPv4Ranges{{
    {0x0A000000, 8, AddressReach::Private},     // 10.0.0.0/8
    {0xAC100000, 12, AddressReach::Private},    // 172.16.0.0/12
    {0xC0A80000, 16, AddressReach::Private},    // 192.168.0.0/16
    {0x64400000, 10, AddressReach::Shared},     // 100.64.0.0/10
    {0x7F000000, 8, AddressReach::Loopback},    // 127.0.0.0/8
    {0xA9FE0000, 16, AddressReach::LinkLocal},  // 169.254.0.0/16
}};

AddressReach ReachOfIPv4(std::uint32_t address)
{
    for (const Range& range : kIPv4Ranges) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - range.prefix);
        if ((address & mask) == range.first)
            return range.reach;
    }
    return AddressReach::Public;
}

AddressReach ReachOfIPv6(const unsigned char (&a)[16])
{
    static constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(a, a + 12, kMappedPrefix))
        return ReachOfIPv4(std::uint32_t{a[12]} << 24 | std::uint32_t{a[13]} << 16 | std::uint32_t{a[14]} << 8 | a[15]);
    static constexpr unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::equal(a, a + 16, kLoopback))
        return AddressReach::Loopback;
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80)
        return AddressReach::LinkLocal;
    if ((a[0] & 0xFE) == 0xFC)
        return AddressReach::Private;
    return AddressReach::Public;
}

QString ReachName(AddressReach reach)
{
    switch (reach) {
    case AddressReach::Private: return QStringLiteral("a private address");
    case AddressReach::Shared: return QStringLiteral("a shared address of your provider (carrier-grade NAT)");
    case AddressReach::Loopback: return QStringLiteral("a loopback address");
    case AddressReach::LinkLocal: return QStringLiteral("a link-local address");
    case AddressReach::Public: break;
    }
    return {};
}

}  // namespace

AddressReach ReachOf(QStringView address)
{
    const QByteArray ascii = address.toLatin1();
    unsigned char bytes[16] = {};
    if (ascii.contains(':'))
        return inet_pton(AF_INET6, ascii.constData(), bytes) == 1 ? ReachOfIPv6(bytes) : AddressReach::Public;
    if (inet_pton(AF_INET, ascii.constData(), bytes) != 1)
        return AddressReach::Public;
    return ReachOfIPv4(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
                       bytes[3]);
}

QString UnreachableReason(const QString& addresses)
{
    QStringList reasons;
    for (const QString& address : addresses.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        const AddressReach reach = ReachOf(address.trimmed());
        if (reach == AddressReach::Public)
            return {};
        reasons.append(address.trimmed() + QStringLiteral(" is ") + ReachName(reach));
    }
    return reasons.join(QStringLiteral(", "));
}

}  // namespace quendrel
