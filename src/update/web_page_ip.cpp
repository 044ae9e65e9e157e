#include "update/web_page_ip.h"

#include <QUrl>

#include "common/number_text.h"
#include "common/text_codec.h"
#include "common/text_rules.h"
#include "update/curl_handle.h"
#include "update/ip_address_text.h"
#include "version.h"

namespace quendrel {

namespace {

using namespace update_text;

constexpr long kMaxRedirections = 20;

// What the transfer's callbacks share.
struct PageReception {
    const StatusReporter& status;
    QByteArray body;
    bool announced = false;

    // The page's text begins to come.
    void Announce()
    {
        if (!announced)
            status(kGettingData);
        announced = true;
    }
};

size_t OnBody(char* data, size_t size, size_t count, void* context)
{
    auto* reception = static_cast<PageReception*>(context);
    reception->Announce();
    const qsizetype room = kMaxPageBytes - reception->body.size();
    const auto length = static_cast<qsizetype>(size * count);
    reception->body.append(data, std::min(length, room));
    // Returning less than was given ends the transfer at the cap.
    return length <= room ? size * count : 0;
}

// Whether a lead byte and the continuation bytes after it are the start of
// a character UTF-8 can encode, short of its end. The lead is C2 to F4 (C0,
// C1 and F5 to FF begin nothing); the byte after it is in the range that
// keeps out overlong forms (after E0, F0), surrogates (after ED) and codes
// past U+10FFFF (after F4).
bool IsUnfinishedUtf8Character(QByteArrayView tail)
{
    const auto lead = static_cast<unsigned char>(tail.front());
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || tail.size() >= length)
        return false;
    if (tail.size() == 1)
        return true;
    const auto second = static_cast<unsigned char>(tail.at(1));
    const unsigned lowest = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned highest = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    return second >= lowest && second <= highest;
}

// The bytes of a UTF-8 sequence that a cut transfer left unfinished at the
// end, or 0.
qsizetype UnfinishedUtf8Tail(const QByteArray& bytes)
{
    for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(bytes.size() - back));
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation byte: look further back
        return IsUnfinishedUtf8Character(QByteArrayView(bytes).last(back)) ? back : 0;
    }
    return 0;
}

// UTF-8, or Windows-1252 when the bytes are not UTF-8. A page cut off in the
// middle of a character (by a dropped connection or the cap) is still UTF-8.
QString DecodePage(const QByteArray& bytes)
{
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    const QByteArray whole = bytes.chopped(UnfinishedUtf8Tail(bytes));
    return IsValidUtf8(whole) ? QString::fromUtf8(whole) : DecodeWindows1252(bytes);
}

struct TextSpan {
    qsizetype from;
    qsizetype to;
};

// From the first character at or after from that is no blank or line end,
// up to the next line end or the page's end.
TextSpan LineAt(const QString& page, qsizetype from)
{
    while (from < page.size() && (IsBlank(page[from].unicode()) || IsLineBreak(page[from].unicode())))
        ++from;
    qsizetype to = from;
    while (to < page.size() && !IsLineBreak(page[to].unicode()))
        ++to;
    return {from, to};
}

bool AddNoCacheHeaders(CurlEasy& curl)
{
    return curl.AddHeader("Cache-Control: no-cache") && curl.AddHeader("Pragma: no-cache");
}

}  // namespace

TextResult FetchWebPage(const QString& url, const StatusReporter& status, std::stop_token stop,
                        std::chrono::seconds timeLimit)
{
    status(kEstablishing);
    CurlEasy curl;
    if (!curl || !AddNoCacheHeaders(curl))
        return {QString(),
                UpdateFailure{kUnableToEstablish, QStringLiteral("libcurl could not set up a transfer")}};
    status(ConnectingTo(ShownUrl(url)));
    // As typed and as sent (percent escapes decoded).
    curl.HideInLog(PasswordInUrl(url));
    curl.HideInLog(QUrl(url).password());

    PageReception reception{status, {}};
    CURL* handle = curl.get();
    curl.ApplyLimits(stop);
    curl_easy_setopt(handle, CURLOPT_URL, url.toUtf8().constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    // A page that redirects in a circle would otherwise be asked for ever.
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirections);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kAppTitle);
    // Every encoding this libcurl can decode is asked for, and a server that
    // compresses unasked is decoded too. The cap counts decoded bytes.
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(timeLimit.count()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reception);
    const CURLcode result = curl.Perform();

    if (stop.stop_requested())
        return {QString(), UpdateFailure::Cancelled()};
    long responseCode = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &responseCode);
    // No answer at all, or only a redirection that could not be followed
    // (its target unreachable, too many of them): there is no page.
    const bool redirectedNowhere = result != CURLE_OK && responseCode >= 300 && responseCode < 400;
    if (responseCode == 0 || redirectedNowhere)
        return {QString(), UpdateFailure{UnableToConnectTo(ShownUrl(url)), curl.FailureDetail(result)}};
    // Whatever ended the transfer (its end, a break, the cap), the text so
    // far is the page.
    reception.Announce();
    status(kClosing);
    QString detail = QStringLiteral("HTTP status %1, %2 bytes").arg(responseCode).arg(reception.body.size());
    if (result != CURLE_OK)
        detail += QStringLiteral(", ended early: ") + curl.FailureDetail(result);
    return {DecodePage(reception.body), std::nullopt, detail, result == CURLE_OK};
}

TextResult CutIPAddress(const QString& page, const QString& startString, const QString& endString,
                        const StatusReporter& status, bool pageWhole)
{
    const auto find = [&page](const QString& marker) {
        return marker.isEmpty() ? 0 : page.indexOf(marker, 0, Qt::CaseSensitive);
    };
    const qsizetype start = find(startString);
    const qsizetype end = find(endString);
    if (start < 0 || end < 0) {
        const auto missing = [](const char* which, const QString& marker) {
            return QStringLiteral("no %1 string \"%2\" in the page").arg(QLatin1String(which), marker);
        };
        const QString why = start < 0 ? missing("start", startString) : missing("end", endString);
        return {QString(), UpdateFailure{kUnableToParse, why}, QString(), true, page};
    }
    status(kParsing);
    const qsizetype from = start + startString.size();
    const qsizetype length = endString.isEmpty() ? 0 : end - from;
    if (length < 0)
        return {QString(), UpdateFailure::Unexpected(QStringLiteral("Invalid procedure call or argument"),
                                                     kInvalidArgumentError,
                                                     QStringLiteral("the end string comes before the start string ends"))};
    const TextSpan span = endString.isEmpty() ? LineAt(page, from) : TextSpan{from, end};
    const QString found = page.mid(span.from, span.to - span.from);
    if (endString.isEmpty() && !pageWhole && span.to == page.size())
        return {QString(), UpdateFailure{kUnableToParse, QStringLiteral("the page broke off before its line ended: \"%1\"")
                                                             .arg(ShownFoundText(found))}};
    // A captive portal's or a proxy's page may hold the strings too: only an
    // address is worth publishing.
    const QString address = found.trimmed();
    if (!IsIPAddressText(address))
        return {QString(), UpdateFailure{kUnableToParse, QStringLiteral("the text found is no IP address: \"%1\"")
                                                             .arg(ShownFoundText(found))}};
    return {address, std::nullopt};
}

TextResult GetWebPageIP(const QString& url, const QString& startString, const QString& endString,
                        const StatusReporter& status, std::stop_token stop, std::chrono::seconds timeLimit)
{
    TextResult page = FetchWebPage(url, status, std::move(stop), timeLimit);
    if (page.failure)
        return page;
    TextResult address = CutIPAddress(page.text, startString, endString, status, page.whole);
    if (address.failure)
        address.failure->detail = page.detail + QStringLiteral("; ") + address.failure->detail;
    address.detail = page.detail;
    return address;
}

TextResult GetAddressFromPages(const QList<IPWebPageChoice>& pages, const StatusReporter& status,
                               std::stop_token stop, const PageFailureLog& logFailure, std::chrono::seconds timeLimit)
{
    TextResult result{QString(), UpdateFailure{kUnableToParse, QStringLiteral("no IP web page to ask")}};
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const IPWebPageChoice& page = pages[i];
        result = GetWebPageIP(page.url, page.startString, page.endString, status, stop, timeLimit);
        if (!result.failure) {
            result.detail = QStringLiteral("from ") + ShownUrl(page.url) + QStringLiteral(", ") + result.detail;
            return result;
        }
        if (result.failure->cancelled)
            return result;
        if (i + 1 < pages.size())
            logFailure(page, *result.failure);
    }
    if (pages.size() > 1)
        result.failure->detail = QStringLiteral("%1, the last of %2 pages asked: %3")
                                     .arg(ShownUrl(pages.last().url), QString::number(pages.size()),
                                          result.failure->detail);
    return result;
}

}  // namespace quendrel
