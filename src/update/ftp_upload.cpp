#include "update/ftp_upload.h"

#include <QStringList>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "update/curl_handle.h"
#include "update/ftp_host.h"
#include "update/sftp_upload.h"
#include "update/tls_options.h"
#include "update/transfer_steps.h"
#include "update/update_log.h"

namespace quendrel {

namespace {

using namespace update_text;
using namespace Qt::StringLiterals;

using UrlHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

bool SetUrlPart(CURLU* url, CURLUPart part, const std::string& value)
{
    return curl_url_set(url, part, value.c_str(), 0) == CURLUE_OK;
}

// The options all transfers of an upload share.
void SetSessionOptions(CurlEasy& curl, const FtpTarget& target, std::stop_token stop, TlsSighting& sighting)
{
    CURL* handle = curl.get();
    curl.ApplyLimits(stop);
    const bool implicitTls = target.protocol == TransferProtocol::FtpImplicitTls;
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, implicitTls ? "ftps" : "ftp");
    if (UsesTls(target.protocol))
        SetTlsOptions(curl, target.serverKey, sighting);
    // Never through a proxy: with ftp_proxy set, libcurl would turn the
    // upload into an HTTP PUT and might call it a success with nothing stored.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_USERNAME, target.username.toUtf8().constData());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, target.password.toUtf8().constData());
    curl.HideInLog(target.password);
    curl_easy_setopt(handle, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    // "." and ".." are directories to enter, not steps of the URL to fold away.
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, kNoProgressSeconds);
    // Active: the server connects back to us (EPRT, then PORT). Passive:
    // EPSV, then PASV.
    curl_easy_setopt(handle, CURLOPT_FTPPORT, target.active ? "-" : nullptr);
    curl_easy_setopt(handle, CURLOPT_FTP_USE_EPRT, 1L);
    curl_easy_setopt(handle, CURLOPT_FTP_USE_EPSV, 1L);
}

// Login and CWD, without a transfer.
std::optional<UpdateFailure> EnterDirectory(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                            const std::stop_token& stop, const TlsSighting& sighting)
{
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, directory.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    const CURLcode result = curl.Perform();
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    if (result == CURLE_REMOTE_ACCESS_DENIED)
        return UpdateFailure{kUnableToSetRemoteDirectory, curl.FailureDetail(result)};
    if (result != CURLE_OK) {
        UpdateFailure failure{UnableToConnectTo(target.server), curl.FailureDetail(result)};
        ExplainKeyFailure(result, target.serverKey, sighting, failure);
        return failure;
    }
    return std::nullopt;
}

// A data connection whose request gets no answer is given up after it was
// sent three times, in about 7 s, so that PASV, tried when EPSV's
// connection fails, has a connect time of its own. libcurl counts the
// connect time from the transfer's start: without this, EPSV's connection
// would take all 30 s and PASV's be given up as soon as it began.
constexpr int kDataConnectionSynRetries = 2;

int LimitSynRetries(void*, curl_socket_t socket, curlsocktype purpose)
{
    if (purpose == CURLSOCKTYPE_IPCXN)
        ::setsockopt(socket, IPPROTO_TCP, TCP_SYNCNT, &kDataConnectionSynRetries, sizeof kDataConnectionSynRetries);
    return CURL_SOCKOPT_OK;
}

// STOR on the connection that is already in the directory (so the sockets
// this transfer opens are data connections).
std::optional<UpdateFailure> StoreFile(CurlEasy& curl, const PageFile& page, const std::string& directory,
                                       const QString& name, const std::stop_token& stop)
{
    std::rewind(page.file.get());
    CURL* handle = curl.get();
    const std::string url = directory + EscapeAll(name);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(handle, CURLOPT_READDATA, page.file.get());
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, page.size);
    curl_easy_setopt(handle, CURLOPT_SOCKOPTFUNCTION, &LimitSynRetries);
    return UploadOutcome(curl, curl.Perform(), stop);
}

// Replaces the old page with the temporary file in one step. renamed stays
// false when the server refuses (some will not rename over a file); that
// is logged, as the plain STOR that follows lets visitors see a cut page
// while it runs.
std::optional<UpdateFailure> RenameOver(CurlEasy& curl, const std::string& directory, const QString& temporary,
                                        const QString& name, const std::stop_token& stop, bool& renamed)
{
    const CURLcode result = SendCommands(curl, directory, {u"*RNFR "_s + temporary, u"*RNTO "_s + name});
    if (auto failure = UploadOutcome(curl, result, stop))
        return failure;
    const QList<QByteArray>& replies = curl.Replies();
    renamed = !replies.isEmpty() && replies.last().startsWith('2');
    if (!renamed) {
        const auto refusal = std::find_if(replies.begin(), replies.end(),
                                          [](const QByteArray& reply) { return reply.at(0) >= '4'; });
        qCWarning(lcUpdate, "FTP upload: the server refused to rename \"%s\" over \"%s\" (%s); storing the page "
                            "under its own name", qUtf8Printable(temporary), qUtf8Printable(name),
                  refusal == replies.end() ? "no reply" : refusal->constData());
    }
    return std::nullopt;
}

// Where the connection still allows it: a stop or a lost connection leaves
// the temporary file behind, for the next upload to store over.
void RemoveTemporary(CurlEasy& curl, const std::string& directory, const QString& temporary,
                     const std::stop_token& stop)
{
    if (stop.stop_requested())
        return;
    if (!curl.HasOpenConnection()) {
        qCInfo(lcUpdate, "FTP upload: \"%s\" may be left on the server, the connection being lost; the next upload "
                         "stores over it", qUtf8Printable(temporary));
        return;
    }
    SendCommands(curl, directory, {u"*DELE "_s + temporary});
}

// Stores the page under the temporary name and renames it over the old
// page: visitors see the old page or the new one, never an empty or cut
// one (STOR empties a file before the data comes, and a data connection
// that fails leaves it so).
std::optional<UpdateFailure> Publish(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                     const std::stop_token& stop)
{
    QString temporary;
    PageFile page;
    if (auto failure = PreparePage(target, temporary, page))
        return failure;
    std::optional<UpdateFailure> failure = StoreFile(curl, page, directory, temporary, stop);
    bool renamed = false;
    if (!failure)
        failure = RenameOver(curl, directory, temporary, target.destFilename, stop, renamed);
    if (!failure && !renamed)
        failure = StoreFile(curl, page, directory, target.destFilename, stop);
    if (!renamed)
        RemoveTemporary(curl, directory, temporary, stop);
    return failure;
}

// Logs in and enters the remote directory.
std::optional<UpdateFailure> OpenDirectory(CurlEasy& curl, const FtpTarget& target, const std::stop_token& stop,
                                           const std::string& directory, TlsSighting& sighting)
{
    SetSessionOptions(curl, target, stop, sighting);
    return EnterDirectory(curl, target, directory, stop, sighting);
}

const char* SchemeOf(TransferProtocol protocol)
{
    switch (protocol) {
    case TransferProtocol::Ftp:
    case TransferProtocol::FtpExplicitTls: break;
    case TransferProtocol::FtpImplicitTls: return "ftps";
    case TransferProtocol::Sftp: return "sftp";
    }
    return "ftp";
}

// The URL's path: one escaped piece for FTP (see FtpDirectoryUrl). For SFTP,
// libcurl takes a path that begins with "/~/" as relative to the login
// directory, and any other as absolute.
std::string DirectoryPath(const QString& remotePath, TransferProtocol protocol)
{
    if (protocol != TransferProtocol::Sftp)
        return remotePath.isEmpty() ? std::string("/") : "/" + EscapeAll(remotePath) + "/";
    std::string path = remotePath.startsWith(u'/') ? std::string() : std::string("/~");
    for (const QString& piece : remotePath.split(u'/', Qt::SkipEmptyParts))
        path += "/" + EscapeAll(piece);
    return path + "/";
}

}  // namespace

std::optional<std::string> FtpDirectoryUrl(const QString& server, int port, const QString& remotePath,
                                           TransferProtocol protocol)
{
    const UrlHandle url(curl_url(), &curl_url_cleanup);
    const std::optional<FtpHost> host = ParseFtpHost(server);
    if (!url || !host || port < 1 || port > 65535)
        return std::nullopt;
    const std::string path = DirectoryPath(remotePath, protocol);
    // libcurl escapes the zone itself.
    if (!SetUrlPart(url.get(), CURLUPART_SCHEME, SchemeOf(protocol))
        || !SetUrlPart(url.get(), CURLUPART_HOST, host->host.toStdString())
        || (!host->zone.isEmpty() && !SetUrlPart(url.get(), CURLUPART_ZONEID, host->zone.toStdString()))
        || !SetUrlPart(url.get(), CURLUPART_PORT, std::to_string(port)) || !SetUrlPart(url.get(), CURLUPART_PATH, path))
        return std::nullopt;
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
        return std::nullopt;
    const std::unique_ptr<char, decltype(&curl_free)> owner(text, &curl_free);
    return std::string(text);
}

namespace {

std::optional<UpdateFailure> FtpSession(const FtpTarget& target, const StatusReporter& status,
                                        const std::stop_token& stop, bool upload)
{
    // Outlives the handle that reports to it.
    TlsSighting sighting;
    return RunSession(
        target, upload, status, stop,
        [&](CurlEasy& curl, const std::string& directory) {
            return OpenDirectory(curl, target, stop, directory, sighting);
        },
        [&](CurlEasy& curl, const std::string& directory) { return Publish(curl, target, directory, stop); });
}

}  // namespace

std::optional<UpdateFailure> UploadPageFile(const FtpTarget& target, const StatusReporter& status,
                                            std::stop_token stop)
{
    if (target.protocol == TransferProtocol::Sftp)
        return SftpSession(target, status, stop, true);
    return FtpSession(target, status, stop, true);
}

std::optional<UpdateFailure> CheckFtpLogin(const FtpTarget& target, const StatusReporter& status,
                                           std::stop_token stop)
{
    if (target.protocol == TransferProtocol::Sftp)
        return SftpSession(target, status, stop, false);
    return FtpSession(target, status, stop, false);
}

}  // namespace quendrel
