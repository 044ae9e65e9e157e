#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <stop_token>

#include "update/status_reporter.h"
#include "update/update_failure.h"

namespace quendrel {

// Far more than any page that shows an address; past it the read stops and
// what was read is used.
inline constexpr qsizetype kMaxPageBytes = 16 * 1024 * 1024;

// A step's value, or why there is none.
struct TextResult {
    QString text;
    std::optional<UpdateFailure> failure;
    // How the step went, for the log: the HTTP status and the page's size.
    QString detail = {};
};

// Downloads the IP web page (redirections followed, no cache, proxies from
// the environment, HTTP status not examined). A request that got no
// response at all fails with "Unable to Connect to " + url; a transfer that
// breaks off after the response began keeps the text read so far. The
// password of a URL with one is kept out of the log.
TextResult FetchWebPage(const QString& url, const StatusReporter& status, std::stop_token stop);

// The trimmed text between the first start string and the first end string
// of the page. An end string that stands before the end of the start string
// is an unexpected error. A failure's detail says which string is missing.
TextResult CutIPAddress(const QString& page, const QString& startString, const QString& endString,
                        const StatusReporter& status);

// Both steps; a failure to cut the address carries the page's HTTP status.
TextResult GetWebPageIP(const QString& url, const QString& startString, const QString& endString,
                        const StatusReporter& status, std::stop_token stop);

}  // namespace quendrel
