#include "update/ftp_upload.h"

#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "update/curl_handle.h"
#include "update/ftp_host.h"

namespace quendrel {

namespace {

using namespace update_text;

using UrlHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;
using FileHandle = std::unique_ptr<FILE, decltype(&std::fclose)>;

bool SetUrlPart(CURLU* url, CURLUPart part, const std::string& value)
{
    return curl_url_set(url, part, value.c_str(), 0) == CURLUE_OK;
}

std::string EscapeAll(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<char, decltype(&curl_free)> escaped(
        curl_easy_escape(nullptr, bytes.constData(), static_cast<int>(bytes.size())), &curl_free);
    return escaped ? std::string(escaped.get()) : std::string();
}

// The options both transfers of an upload share.
void SetSessionOptions(CurlEasy& curl, const FtpTarget& target, std::stop_token stop)
{
    CURL* handle = curl.get();
    curl.ApplyLimits(stop);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
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

// Closes the control connection at once. Used when the upload will not
// follow: libcurl would otherwise send QUIT at cleanup and wait up to a
// minute for a silent server's answer, out of reach of a stop request.
void DropConnection(CURL* handle)
{
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(handle, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
        ::shutdown(socket, SHUT_RDWR);
}

// Login and CWD, without a transfer.
std::optional<UpdateFailure> EnterDirectory(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                            const std::stop_token& stop)
{
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, directory.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    const CURLcode result = curl.Perform();
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    if (result == CURLE_REMOTE_ACCESS_DENIED)
        return UpdateFailure{kUnableToSetRemoteDirectory, curl.FailureDetail(result)};
    if (result != CURLE_OK)
        return UpdateFailure{UnableToConnectTo(target.server), curl.FailureDetail(result)};
    return std::nullopt;
}

// STOR on the connection that is already logged in.
std::optional<UpdateFailure> StoreFile(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                       const std::stop_token& stop)
{
    // Opened before the transfer starts: a read that failed after STOR
    // would leave a cut file on the server.
    const FileHandle file(std::fopen(QFile::encodeName(target.localFile).constData(), "rbe"), &std::fclose);
    struct stat info {};
    if (!file || ::fstat(fileno(file.get()), &info) != 0) {
        const int error = errno;
        return UpdateFailure{kUnableToUpload,
                             QStringLiteral("page ") + target.localFile + QStringLiteral(": ") + SystemErrorText(error)};
    }
    if (!S_ISREG(info.st_mode))
        return UpdateFailure{kUnableToUpload,
                             QStringLiteral("page ") + target.localFile + QStringLiteral(": not a regular file")};

    CURL* handle = curl.get();
    const std::string url = directory + EscapeAll(target.destFilename);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(handle, CURLOPT_READDATA, file.get());
    // QUIT inside this transfer, where a stop request still reaches it.
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    const CURLcode result = curl.Perform();
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    if (result != CURLE_OK)
        return UpdateFailure{kUnableToUpload, curl.FailureDetail(result)};
    return std::nullopt;
}

}  // namespace

std::optional<std::string> FtpDirectoryUrl(const QString& server, int port, const QString& remotePath)
{
    const UrlHandle url(curl_url(), &curl_url_cleanup);
    const std::optional<FtpHost> host = ParseFtpHost(server);
    if (!url || !host || port < 1 || port > 65535)
        return std::nullopt;
    const std::string path = remotePath.isEmpty() ? std::string("/") : "/" + EscapeAll(remotePath) + "/";
    // libcurl escapes the zone itself.
    if (!SetUrlPart(url.get(), CURLUPART_SCHEME, "ftp")
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

std::optional<UpdateFailure> UploadPageFile(const FtpTarget& target, const StatusReporter& status,
                                            std::stop_token stop)
{
    status(kEstablishing);
    CurlEasy curl;
    if (!curl)
        return UpdateFailure{kUnableToEstablish, QStringLiteral("libcurl could not set up a transfer")};
    status(ConnectingTo(target.server));
    const std::optional<std::string> directory = FtpDirectoryUrl(target.server, target.port, target.remotePath);
    if (!directory)
        return UpdateFailure{UnableToConnectTo(target.server),
                             QStringLiteral("no FTP URL can name server \"%1\" and port %2")
                                 .arg(target.server, QString::number(target.port))};
    SetSessionOptions(curl, target, stop);
    if (auto failure = EnterDirectory(curl, target, *directory, stop)) {
        DropConnection(curl.get());
        return failure;
    }
    status(kUploading);
    if (auto failure = StoreFile(curl, target, *directory, stop)) {
        DropConnection(curl.get());
        return failure;
    }
    status(kClosing);
    return std::nullopt;
}

}  // namespace quendrel
