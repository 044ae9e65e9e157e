#include "update/curl_handle.h"

#include <QList>

#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "update/update_failure.h"
#include "update/update_log.h"

namespace quendrel {

namespace {

std::atomic<bool> conversationLogged{false};

const QByteArray kMask = QByteArrayLiteral("***");

// The longest wait for the sockets between two looks at the transfer, as
// curl_easy_perform has it.
constexpr int kLongestWaitMs = 1000;
// The wait when libcurl names nothing to wait for (see WaitMilliseconds).
constexpr int kNothingToWaitForMs = 1;
constexpr qsizetype kRepliesKept = 16;

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

curl_socket_t OnOpenSocket(void* curl, curlsocktype, curl_sockaddr* address)
{
    return static_cast<CurlEasy*>(curl)->Sockets().Open(*address);
}

int OnCloseSocket(void* curl, curl_socket_t socket)
{
    return static_cast<CurlEasy*>(curl)->Sockets().Close(socket);
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

curl_socket_t OpenSockets::Open(const curl_sockaddr& address)
{
    const std::lock_guard lock(mutex_);
    if (refused_)
        return CURL_SOCKET_BAD;
    const curl_socket_t socket = ::socket(address.family, address.socktype | SOCK_CLOEXEC, address.protocol);
    if (socket != CURL_SOCKET_BAD)
        sockets_.push_back(socket);
    return socket;
}

int OpenSockets::Close(curl_socket_t socket)
{
    // Under the lock: a number closed here may be reused at once, and Cut
    // must never shut down a socket that is not a transfer's.
    const std::lock_guard lock(mutex_);
    std::erase(sockets_, socket);
    return ::close(socket);
}

bool OpenSockets::Empty() const
{
    const std::lock_guard lock(mutex_);
    return sockets_.empty();
}

void OpenSockets::Cut(bool forGood)
{
    const std::lock_guard lock(mutex_);
    refused_ = refused_ || forGood;
    for (const curl_socket_t socket : sockets_)
        ::shutdown(socket, SHUT_RDWR);
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
    , multi_(curl_multi_init())
{
    if (!handle_)
        return;
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle_, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket);
    curl_easy_setopt(handle_, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(handle_, CURLOPT_CLOSESOCKETFUNCTION, &OnCloseSocket);
    curl_easy_setopt(handle_, CURLOPT_CLOSESOCKETDATA, this);
    if (conversationLogged) {
        curl_easy_setopt(handle_, CURLOPT_DEBUGFUNCTION, &OnDebug);
        curl_easy_setopt(handle_, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
    }
}

CurlEasy::~CurlEasy()
{
    // No stop request reaches the multi handle while it goes.
    onStop_.reset();
    sockets_.Cut(true);
    if (multi_)
        curl_multi_cleanup(multi_);
    if (handle_)
        curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
}

void CurlEasy::StopNow::operator()() const noexcept
{
    curl->sockets_.Cut(true);
    curl_multi_wakeup(curl->multi_);
}

void CurlEasy::ApplyLimits(const std::stop_token& stop)
{
    stop_ = stop;
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // In active mode the server connects back: the same 30 s, not libcurl's 60.
    curl_easy_setopt(handle_, CURLOPT_ACCEPTTIMEOUT_MS, kConnectTimeoutSeconds * 1000);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, kNoProgressSeconds);
    // A cancelled name lookup is not waited for when the handle goes.
    curl_easy_setopt(handle_, CURLOPT_QUICK_EXIT, 1L);
    onStop_.emplace(stop_, StopNow{this});
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
    replies_.clear();
    if (const CURLMcode added = curl_multi_add_handle(multi_, handle_); added != CURLM_OK)
        return MultiFailure(added);
    const CURLcode result = RunTransfer();
    curl_multi_remove_handle(multi_, handle_);
    return result;
}

CURLcode CurlEasy::RunTransfer()
{
    while (!stop_.stop_requested()) {
        int running = 0;
        if (const CURLMcode code = curl_multi_perform(multi_, &running); code != CURLM_OK)
            return MultiFailure(code);
        int queued = 0;
        if (const CURLMsg* message = curl_multi_info_read(multi_, &queued); message && message->msg == CURLMSG_DONE)
            return message->data.result;
        if (const CURLMcode code = curl_multi_poll(multi_, nullptr, 0, WaitMilliseconds(), nullptr); code != CURLM_OK)
            return MultiFailure(code);
    }
    return CURLE_ABORTED_BY_CALLBACK;
}

// libcurl names the sockets it waits for; its timers shorten the wait by
// themselves. When it names no socket, it may have more to do at once: it
// can end a step with the next one ready but not started (FTP's data
// connection, when the reply to EPSV came so quickly that it was read with
// the command), and its connect timer alone would keep the wait going for
// the whole second that curl_easy_perform waits there.
int CurlEasy::WaitMilliseconds() const
{
    fd_set reading, writing, failing;
    FD_ZERO(&reading);
    FD_ZERO(&writing);
    FD_ZERO(&failing);
    int highest = -1;
    const bool named = curl_multi_fdset(multi_, &reading, &writing, &failing, &highest) == CURLM_OK && highest >= 0;
    return named ? kLongestWaitMs : kNothingToWaitForMs;
}

CURLcode CurlEasy::MultiFailure(CURLMcode code)
{
    std::snprintf(error_, sizeof error_, "%s", curl_multi_strerror(code));
    return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
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
    if (!replies_.isEmpty())
        detail += "; the server's last reply: " + replies_.last();
    // libcurl's texts name hosts, ports and paths, not credentials; a
    // server's reply might repeat anything it was sent.
    return QString::fromUtf8(Masked(detail));
}

void CurlEasy::NoteReply(const char* data, size_t size)
{
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
    if (!IsReplyLine(line))
        return;
    // The last ones: a server may send a reply of endless lines.
    if (replies_.size() == kRepliesKept)
        replies_.removeFirst();
    replies_.append(line);
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
