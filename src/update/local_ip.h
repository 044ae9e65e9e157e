#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <netinet/in.h>

#include <stop_token>

namespace quendrel {

// The IPv4 addresses of the host's own name, each once, in the resolver's
// order, joined by ", ". The empty text when the name is unknown or does
// not resolve: the caller goes on with it. A stop request ends a slow
// lookup (a name that goes to an unanswering DNS server) within 100 ms.
// With IPv6, the host's global IPv6 addresses follow (see
// GlobalIPv6Addresses), read from /proc/net/if_inet6.
QString GetLocalIP(std::stop_token stop = {}, bool withIPv6 = false);

// The addresses that visitors from the Internet can reach over IPv6, from
// the kernel's list of interface addresses (the text of /proc/net/if_inet6):
// global unicast (2000::/3) only, each once, in the list's order, without
// temporary (privacy), deprecated, tentative or failed ones, which are not
// for incoming connections. Lines that do not parse are passed over.
QStringList GlobalIPv6Addresses(const QByteArray& ifInet6);

// The addresses in dotted-quad form, repeats left out, joined by ", ".
QString JoinAddresses(const QList<in_addr>& addresses);

}  // namespace quendrel
