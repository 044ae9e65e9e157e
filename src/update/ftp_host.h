#pragma once

#include <QString>

#include <optional>

namespace quendrel {

// The FTP server box's text as the host of a URL. libcurl reads a URL's
// host leniently (in "[::%x@example.net?]" the host is example.net, "1.2.3"
// is 1.2.0.3), so only texts that name one host and nothing else pass.
struct FtpHost {
    QString host;  // an IPv6 address in brackets
    QString zone;  // an IPv6 address's zone (interface), unescaped; "" for none
};

// A host name: labels of letters, digits, "-" (not at either end) and "_",
// separated by dots, an optional dot at the end, the last label no number;
// any script's letters too, read as IDN (libcurl converts them with
// libidn2), with compatibility forms (fullwidth letters and signs) taken
// for the plain ones. An IPv4 address in dotted decimal. An IPv6 address,
// bare or in brackets, with an optional zone after "%" of letters, digits
// and "-._~" (in brackets also after "%25", as in a URL). Nothing for any
// other text.
std::optional<FtpHost> ParseFtpHost(const QString& server);

}  // namespace quendrel
