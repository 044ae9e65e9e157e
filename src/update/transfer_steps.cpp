#include "update/transfer_steps.h"

#include <QFile>

#include <sys/stat.h>

#include <cerrno>

namespace quendrel {

namespace {

using namespace update_text;
using SlistHandle = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// QUIT, or the SSH connection's end.
void Close(CurlEasy& curl, const std::string& directory)
{
    curl_easy_setopt(curl.get(), CURLOPT_FORBID_REUSE, 1L);
    SendCommands(curl, directory, {});
}

// The page's name while it is uploaded, in the same directory: a name no
// one gives a file of their own, always the same, so that one left behind
// by a lost connection is stored over and renamed away by the next upload
// instead of piling up. The name's ending stays: a server may take only
// some kinds of file.
QString TemporaryName(const QString& destFilename)
{
    return QStringLiteral("quendrel-upload-") + destFilename;
}

// Opened before the transfer starts: a read that failed after the upload
// began would leave a cut file on the server.
std::optional<UpdateFailure> OpenPage(const QString& path, PageFile& page)
{
    page.file.reset(std::fopen(QFile::encodeName(path).constData(), "rbe"));
    struct stat info {};
    if (!page.file || ::fstat(fileno(page.file.get()), &info) != 0) {
        const int error = errno;
        return UpdateFailure{kUnableToUpload, QStringLiteral("page ") + path + QStringLiteral(": ") + SystemErrorText(error)};
    }
    if (!S_ISREG(info.st_mode))
        return UpdateFailure{kUnableToUpload, QStringLiteral("page ") + path + QStringLiteral(": not a regular file")};
    page.size = info.st_size;
    return std::nullopt;
}

}  // namespace

std::string EscapeAll(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<char, decltype(&curl_free)> escaped(
        curl_easy_escape(nullptr, bytes.constData(), static_cast<int>(bytes.size())), &curl_free);
    return escaped ? std::string(escaped.get()) : std::string();
}

std::optional<UpdateFailure> PreparePage(const FtpTarget& target, QString& temporary, PageFile& page)
{
    temporary = TemporaryName(target.destFilename);
    if (temporary.contains(u'\r') || temporary.contains(u'\n') || temporary.contains(QChar(0)))
        return UpdateFailure{kUnableToUpload, QStringLiteral("the file name holds a line break or a NUL")};
    return OpenPage(target.localFile, page);
}

std::optional<UpdateFailure> UploadOutcome(const CurlEasy& curl, CURLcode result, const std::stop_token& stop)
{
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    if (result != CURLE_OK)
        return UpdateFailure{kUnableToUpload, curl.FailureDetail(result)};
    return std::nullopt;
}

CURLcode SendCommands(CurlEasy& curl, const std::string& directory, const QStringList& commands)
{
    SlistHandle list(nullptr, &curl_slist_free_all);
    for (const QString& command : commands) {
        curl_slist* longer = curl_slist_append(list.get(), command.toUtf8().constData());
        if (!longer)
            return CURLE_OUT_OF_MEMORY;
        static_cast<void>(list.release());
        list.reset(longer);
    }
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, directory.c_str());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(handle, CURLOPT_QUOTE, list.get());
    const CURLcode result = curl.Perform();
    curl_easy_setopt(handle, CURLOPT_QUOTE, nullptr);
    return result;
}


std::optional<UpdateFailure> BeginSession(const CurlEasy& curl, const FtpTarget& target, const StatusReporter& status,
                                          std::string& directory)
{
    status(kEstablishing);
    if (!curl)
        return UpdateFailure{kUnableToEstablish, QStringLiteral("libcurl could not set up a transfer")};
    status(ConnectingTo(target.server));
    const std::optional<std::string> url =
        FtpDirectoryUrl(target.server, target.port, target.remotePath, target.protocol);
    if (!url)
        return UpdateFailure{UnableToConnectTo(target.server),
                             QStringLiteral("no %1 URL can name server \"%2\" and port %3")
                                 .arg(ProtocolText(target.protocol), target.server, QString::number(target.port))};
    directory = *url;
    return std::nullopt;
}

std::optional<UpdateFailure> CloseSession(CurlEasy& curl, const std::string& directory, const StatusReporter& status,
                                          const std::stop_token& stop)
{
    status(kClosing);
    Close(curl, directory);
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    return std::nullopt;
}


}  // namespace quendrel
