#include "update/curl_handle.h"

#include <QList>

#include <atomic>

#include "update/update_failure.h"
#include "update/update_log.h"

namespace quendrel {

namespace {

std::atomic<bool> conversationLogged{false};

const QByteArray kMask = QByteArrayLiteral("***");

int StopWhenAsked(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

// libcurl gives the header callback every FTP reply line, and for HTTP the
// status line and the header lines.
size_t OnHeader(char* data, size_t size, size_t count, void* curl)
{
    static_cast<CurlEasy*>(curl)->NoteReply(data, size * count);
    return size * count;
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* curl)
{
    static_cast<const CurlEasy*>(curl)->LogConversation(type, data, size);
    return 0;
}

// An FTP reply ("530 Login incorrect.") or an HTTP status line.
bool IsReplyLine(const QByteArray& line)
{
    const auto digit = [&line](int i) { return line.size() > i && line.at(i) >= '0' && line.at(i) <= '9'; };
    return line.startsWith("HTTP/") || (digit(0) && digit(1) && digit(2));
}

// The command or header name ("PASS", "Authorization:") of a line whose
// argument is a credential; empty for other lines.
QByteArray CredentialName(const QByteArray& line)
{
    const QByteArray lower = line.toLower();
    for (const char* prefix : {"pass ", "authorization:", "proxy-authorization:"}) {
        if (lower.startsWith(prefix))
            return line.left(qstrlen(prefix)).trimmed();
    }
    return {};
}

}  // namespace

void SetCurlConversationLogging(bool on)
{
    conversationLogged = on;
}

CurlGlobal::CurlGlobal()
{
    if (const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT); result != CURLE_OK)
        qCWarning(lcUpdate, "libcurl could not be set up: %s", curl_easy_strerror(result));
}

CurlGlobal::~CurlGlobal()
{
    curl_global_cleanup();
}

CurlEasy::CurlEasy()
    : handle_(curl_easy_init())
{
    if (!handle_)
        return;
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
    if (conversationLogged) {
        curl_easy_setopt(handle_, CURLOPT_DEBUGFUNCTION, &OnDebug);
        curl_easy_setopt(handle_, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
    }
}

CurlEasy::~CurlEasy()
{
    if (handle_)
        curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
}

void CurlEasy::ApplyLimits(const std::stop_token& stop)
{
    stop_ = stop;
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, kNoProgressSeconds);
    curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &StopWhenAsked);
    curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, &stop_);
    // A cancelled name lookup is not waited for when the handle goes.
    curl_easy_setopt(handle_, CURLOPT_QUICK_EXIT, 1L);
}

bool CurlEasy::AddHeader(const char* line)
{
    curl_slist* longer = curl_slist_append(headers_, line);
    if (!longer)
        return false;
    headers_ = longer;
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
    return true;
}

void CurlEasy::HideInLog(const QString& secret)
{
    if (!secret.isEmpty())
        secrets_.append(secret.toUtf8());
}

CURLcode CurlEasy::Perform()
{
    error_[0] = '\0';
    lastReply_.clear();
    return curl_easy_perform(handle_);
}

QString CurlEasy::FailureDetail(CURLcode result) const
{
    QByteArray detail = error_[0] ? QByteArray(error_) : QByteArray(curl_easy_strerror(result));
    long systemError = 0;
    if (curl_easy_getinfo(handle_, CURLINFO_OS_ERRNO, &systemError) == CURLE_OK && systemError != 0) {
        const QByteArray system = SystemErrorText(static_cast<int>(systemError)).toUtf8();
        if (!detail.contains(system))
            detail += " (" + system + ')';
    }
    if (!lastReply_.isEmpty())
        detail += "; the server's last reply: " + lastReply_;
    // libcurl's texts name hosts, ports and paths, not credentials; a
    // server's reply might repeat anything it was sent.
    return QString::fromUtf8(Masked(detail));
}

void CurlEasy::NoteReply(const char* data, size_t size)
{
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
    if (IsReplyLine(line))
        lastReply_ = line;
}

void CurlEasy::LogConversation(curl_infotype type, const char* data, size_t size) const
{
    // The commands and replies, the request and response headers and
    // libcurl's notes on the connection; never the data.
    const char* mark = type == CURLINFO_HEADER_OUT ? ">" : type == CURLINFO_HEADER_IN ? "<" : "*";
    if (type != CURLINFO_HEADER_OUT && type != CURLINFO_HEADER_IN && type != CURLINFO_TEXT)
        return;
    for (const QByteArray& line : QByteArray(data, static_cast<qsizetype>(size)).split('\n')) {
        if (!line.trimmed().isEmpty())
            qCInfo(lcUpdate, "%s %s", mark, Masked(line.trimmed()).constData());
    }
}

QByteArray CurlEasy::Masked(QByteArray text) const
{
    if (const QByteArray name = CredentialName(text); !name.isEmpty())
        text = name + ' ' + kMask;
    for (const QByteArray& secret : secrets_)
        text.replace(secret, kMask);
    return text;
}

}  // namespace quendrel
