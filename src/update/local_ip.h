#pragma once

#include <QList>
#include <QString>

#include <netinet/in.h>

#include <stop_token>

namespace quendrel {

// The IPv4 addresses of the host's own name, each once, in the resolver's
// order, joined by ", ". The empty text when the name is unknown or does
// not resolve: the caller goes on with it. A stop request ends a slow
// lookup (a name that goes to an unanswering DNS server) within 100 ms.
QString GetLocalIP(std::stop_token stop = {});

// The addresses in dotted-quad form, repeats left out, joined by ", ".
QString JoinAddresses(const QList<in_addr>& addresses);

}  // namespace quendrel
