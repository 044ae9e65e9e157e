#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <array>
#include <optional>

namespace quendrel {

// The start and end strings that cut the address out of one IP web page.
struct PageStrings {
    QString start;
    QString end;
    friend bool operator==(const PageStrings&, const PageStrings&) = default;
};

// An address service the IP web page box offers besides the pages of the
// list file. Offered only: nothing is asked of it until the user picks it.
struct WellKnownPage {
    const char* url;
    const char* start;
    const char* end;
    const char* about;  // the item's tool tip
};

// Each answer format is the service's own documented one. Empty strings
// take the page's first line.
inline constexpr std::array<WellKnownPage, 5> kWellKnownPages{{
    {"https://api.ipify.org", "", "", "ipify: the IPv4 address as plain text"},
    {"https://api64.ipify.org", "", "", "ipify: the IPv6 address where there is one, else the IPv4 one, as plain text"},
    {"https://icanhazip.com", "", "", "icanhazip: the address as one line of plain text"},
    {"https://checkip.amazonaws.com", "", "", "Amazon Web Services: the IPv4 address as one line of plain text"},
    {"http://checkip.dyndns.org", "Current IP Address:", "</body>",
     "Dyn CheckIP: a small HTML page; asks for 10 minutes between checks"},
}};

// The strings remembered for each page, by its URL with the spaces around
// it trimmed.
using PageStringsMap = QMap<QString, PageStrings>;

// The strings remembered for the page, else a well-known page's own, else
// none.
std::optional<PageStrings> StringsForPage(const PageStringsMap& stored, const QString& url);

// The file of remembered strings (JSON). Parsing gives nothing for bytes
// that are not such a file; entries without a URL are passed over.
QByteArray FormatPageStrings(const PageStringsMap& strings);
std::optional<PageStringsMap> ParsePageStrings(const QByteArray& bytes);

}  // namespace quendrel
