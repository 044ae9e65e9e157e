#include "update/web_page_ip.h"

#include "common/number_text.h"
#include "settings/text_codec.h"
#include "update/curl_handle.h"
#include "version.h"

namespace quendrel {

namespace {

using namespace update_text;

// What the transfer's callbacks share.
struct PageReception {
    const StatusReporter& status;
    QByteArray body;
    bool responseBegan = false;
};

size_t OnHeader(char*, size_t size, size_t count, void* context)
{
    auto* reception = static_cast<PageReception*>(context);
    if (!reception->responseBegan) {
        reception->responseBegan = true;
        reception->status(kGettingData);
    }
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* context)
{
    auto* reception = static_cast<PageReception*>(context);
    const qsizetype room = kMaxPageBytes - reception->body.size();
    const auto length = static_cast<qsizetype>(size * count);
    reception->body.append(data, std::min(length, room));
    // Returning less than was given ends the transfer at the cap.
    return length <= room ? size * count : 0;
}

bool AddNoCacheHeaders(CurlStringList& headers)
{
    return headers.Append("Cache-Control: no-cache") && headers.Append("Pragma: no-cache");
}

}  // namespace

TextResult FetchWebPage(const QString& url, const StatusReporter& status, std::stop_token stop)
{
    status(kEstablishing);
    CurlEasy curl;
    CurlStringList headers;
    if (!curl || !AddNoCacheHeaders(headers))
        return {QString(), UpdateFailure{kUnableToEstablish}};
    status(ConnectingTo(url));

    PageReception reception{status, {}, false};
    CURL* handle = curl.get();
    curl.ApplyLimits(stop);
    curl_easy_setopt(handle, CURLOPT_URL, url.toUtf8().constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kAppTitle);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &reception);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reception);
    curl_easy_perform(handle);

    if (stop.stop_requested())
        return {QString(), UpdateFailure::Cancelled()};
    long responseCode = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &responseCode);
    if (responseCode == 0)
        return {QString(), UpdateFailure{UnableToConnectTo(url)}};
    // Whatever ended the transfer (its end, a break, the cap), the text so
    // far is the page.
    status(kClosing);
    return {DecodeLenient(reception.body), std::nullopt};
}

TextResult CutIPAddress(const QString& page, const QString& startString, const QString& endString,
                        const StatusReporter& status)
{
    const qsizetype start = page.indexOf(startString, 0, Qt::CaseSensitive);
    const qsizetype end = page.indexOf(endString, 0, Qt::CaseSensitive);
    if (start < 0 || end < 0)
        return {QString(), UpdateFailure{kUnableToParse}};
    status(kParsing);
    const qsizetype from = start + startString.size();
    const qsizetype length = end - from;
    if (length < 0)
        return {QString(), UpdateFailure::Unexpected(QStringLiteral("Invalid procedure call or argument"),
                                                     kInvalidArgumentError)};
    return {TrimSpaces(page.mid(from, length)), std::nullopt};
}

TextResult GetWebPageIP(const QString& url, const QString& startString, const QString& endString,
                        const StatusReporter& status, std::stop_token stop)
{
    TextResult page = FetchWebPage(url, status, std::move(stop));
    if (page.failure)
        return page;
    return CutIPAddress(page.text, startString, endString, status);
}

}  // namespace quendrel
