#pragma once

#include <QString>
#include <QStringView>

namespace quendrel {

// Whom an address can reach the computer from: anyone on the Internet, or
// only a network short of it.
enum class AddressReach {
    Public,
    Private,    // 10/8, 172.16/12, 192.168/16; IPv6 unique local fc00::/7
    Shared,     // 100.64/10, the provider's own network (carrier-grade NAT)
    Loopback,   // 127/8, ::1
    LinkLocal,  // 169.254/16, fe80::/10
};

// The reach of one address as IsIPAddressText takes it (an IPv4-mapped IPv6
// address has its IPv4 address's). Text that is no address counts as public:
// there is nothing to warn about.
AddressReach ReachOf(QStringView address);

// For the addresses an update found (one, or a list joined by ", "): why
// visitors from the Internet cannot reach any of them, e.g. "192.168.1.5 is
// a private address"; empty when one of them is public.
QString UnreachableReason(const QString& addresses);

}  // namespace quendrel
