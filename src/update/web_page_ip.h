#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

#include "update/status_reporter.h"
#include "update/update_failure.h"
#include "update/update_inputs.h"

namespace quendrel {

// Far more than any page that shows an address; past it the read stops and
// what was read is used.
inline constexpr qsizetype kMaxPageBytes = 16 * 1024 * 1024;

// The most one IP web page may take, from the start of its connection to
// its last byte: a page that trickles cannot hold the update longer.
inline constexpr std::chrono::seconds kPageTimeLimit{60};

// A step's value, or why there is none.
struct TextResult {
    QString text;
    std::optional<UpdateFailure> failure;
    // How the step went, for the log: the HTTP status and the page's size.
    QString detail = {};
    // For a page: it came to its end (it did not break off or hit a limit).
    bool whole = true;
    // The page's text when its start or end string is not in it.
    QString unmatchedPage = {};
};

// Downloads the IP web page (redirections followed, no cache, proxies from
// the environment, any content encoding decoded, HTTP status not examined).
// A request that got no response at all within the time limit fails with
// "Unable to Connect to " + url; a transfer that breaks off after the
// response began keeps the text read so far. The password of a URL with one
// is kept out of the log.
TextResult FetchWebPage(const QString& url, const StatusReporter& status, std::stop_token stop,
                        std::chrono::seconds timeLimit = kPageTimeLimit);

// The address between the first start string and the first end string of
// the page. An empty start string starts at the page's beginning; an empty
// end string ends at the first line end after the start (line ends right
// after it passed over) or at the page's end, so that both empty take the
// first line of a page that holds only the address. What stands there must
// be one IPv4 or IPv6 address, blanks and line breaks around it trimmed;
// anything else is "Unable to Parse IP Address Data" with that text in the
// detail, as is a missing string, or a line that runs to the end of a page
// that broke off (the address may be cut short). An end string that stands
// before the end of the start string is an unexpected error.
TextResult CutIPAddress(const QString& page, const QString& startString, const QString& endString,
                        const StatusReporter& status, bool pageWhole = true);

// Both steps; a failure to cut the address carries the page's HTTP status.
TextResult GetWebPageIP(const QString& url, const QString& startString, const QString& endString,
                        const StatusReporter& status, std::stop_token stop,
                        std::chrono::seconds timeLimit = kPageTimeLimit);

// Told of a page that gave no address before the next one is asked.
using PageFailureLog = std::function<void(const IPWebPageChoice& page, const UpdateFailure& failure)>;

// Asks the pages in turn, each with its own strings and time limit, until
// one gives an address. When all fail, the last one's failure stands; its
// detail names the page when more than one was asked. The detail of a
// success names the page that answered.
TextResult GetAddressFromPages(const QList<IPWebPageChoice>& pages, const StatusReporter& status,
                               std::stop_token stop, const PageFailureLog& logFailure,
                               std::chrono::seconds timeLimit = kPageTimeLimit);

}  // namespace quendrel
