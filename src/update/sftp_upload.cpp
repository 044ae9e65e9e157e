#include "update/sftp_upload.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

#include "update/curl_handle.h"
#include "update/ssh_host_key.h"
#include "update/transfer_steps.h"
#include "update/update_log.h"

namespace quendrel {

namespace {

using namespace update_text;

// The private keys an empty password logs in with, in the order tried.
QStringList KeyFiles()
{
    QStringList found;
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const QString path = QDir::homePath() + QStringLiteral("/.ssh/") + QLatin1String(name);
        if (QFileInfo(path).isFile())
            found << path;
    }
    return found;
}

// A password, or the agent and (when there is one) the key file.
void SetLogin(CURL* handle, const FtpTarget& target, const QString& keyFile)
{
    if (!target.password.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        return;
    }
    long types = CURLSSH_AUTH_AGENT;
    if (!keyFile.isEmpty()) {
        types |= CURLSSH_AUTH_PUBLICKEY;
        curl_easy_setopt(handle, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(keyFile).constData());
        // Empty: libssh2 reads the public key out of the private one.
        const QString publicKey = keyFile + QStringLiteral(".pub");
        curl_easy_setopt(handle, CURLOPT_SSH_PUBLIC_KEYFILE,
                         QFileInfo(publicKey).isFile() ? QFile::encodeName(publicKey).constData() : "");
    }
    curl_easy_setopt(handle, CURLOPT_SSH_AUTH_TYPES, types);
}

size_t Discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

void SetSessionOptions(CurlEasy& curl, const FtpTarget& target, const std::stop_token& stop, HostKeyCheck& check)
{
    CURL* handle = curl.get();
    curl.ApplyLimits(stop);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "sftp");
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_USERNAME, target.username.toUtf8().constData());
    if (!target.password.isEmpty())
        curl_easy_setopt(handle, CURLOPT_PASSWORD, target.password.toUtf8().constData());
    curl.HideInLog(target.password);
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    // A directory's listing only proves that it is there.
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard);
    SetHostKeyCheck(curl, check);
}

CURLcode ListDirectory(CurlEasy& curl, const std::string& directory)
{
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, directory.c_str());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle, CURLOPT_NOBODY, 0L);
    return curl.Perform();
}

// With the password, one login; without, one per key file (each with the
// agent) until one is taken.
CURLcode LogIn(CurlEasy& curl, const FtpTarget& target, const std::string& directory, const std::stop_token& stop)
{
    const QStringList keys = target.password.isEmpty() ? KeyFiles() : QStringList();
    CURLcode result = CURLE_OK;
    qsizetype next = 0;
    do {
        const QString key = next < keys.size() ? keys[next] : QString();
        SetLogin(curl.get(), target, key);
        result = ListDirectory(curl, directory);
        if (result == CURLE_LOGIN_DENIED && !key.isEmpty())
            qCInfo(lcUpdate, "SFTP: the server did not take the key %s", qUtf8Printable(key));
    } while (result == CURLE_LOGIN_DENIED && ++next < keys.size() && !stop.stop_requested());
    return result;
}

UpdateFailure LoginFailure(const CurlEasy& curl, CURLcode result, const FtpTarget& target, const HostKeyCheck& check)
{
    if (result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_REMOTE_ACCESS_DENIED)
        return {kUnableToSetRemoteDirectory, curl.FailureDetail(result)};
    UpdateFailure failure{UnableToConnectTo(target.server), curl.FailureDetail(result)};
    ExplainHostKeyFailure(result, check, failure);
    if (result == CURLE_LOGIN_DENIED && target.password.isEmpty())
        failure.detail += QStringLiteral("; with the password box empty, the SSH agent and the keys in ~/.ssh "
                                         "(id_ed25519, id_ecdsa, id_rsa) were tried");
    return failure;
}

std::optional<UpdateFailure> OpenDirectory(CurlEasy& curl, const FtpTarget& target, const std::stop_token& stop,
                                           const std::string& directory, HostKeyCheck& check)
{
    SetSessionOptions(curl, target, stop, check);
    const CURLcode result = LogIn(curl, target, directory, stop);
    if (stop.stop_requested())
        return UpdateFailure::Cancelled();
    if (result != CURLE_OK)
        return LoginFailure(curl, result, target, check);
    return std::nullopt;
}

// A path for a command, relative to the login directory unless absolute,
// quoted as libcurl reads it ("\" and "\"" escaped).
QString QuotedPath(const QString& remotePath, const QString& name)
{
    QString directory = remotePath;
    while (directory.size() > 1 && directory.endsWith(u'/'))
        directory.chop(1);
    QString path = directory.isEmpty() ? name : directory.endsWith(u'/') ? directory + name : directory + u'/' + name;
    path.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + path + u'"';
}

std::optional<UpdateFailure> StoreFile(CurlEasy& curl, const PageFile& page, const std::string& url,
                                       const std::stop_token& stop)
{
    std::rewind(page.file.get());
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READDATA, page.file.get());
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, page.size);
    return UploadOutcome(curl, curl.Perform(), stop);
}

// A rename over the old page; where the server refuses that, the old page
// is removed first.
std::optional<UpdateFailure> RenameOver(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                        const QString& temporary, const std::stop_token& stop)
{
    const QString from = QuotedPath(target.remotePath, temporary);
    const QString to = QuotedPath(target.remotePath, target.destFilename);
    const QString rename = QStringLiteral("rename ") + from + u' ' + to;
    CURLcode result = SendCommands(curl, directory, {rename});
    if (result == CURLE_QUOTE_ERROR && !stop.stop_requested()) {
        qCDebug(lcUpdate, "SFTP upload: the server does not rename over a file; removing %s first", qUtf8Printable(to));
        result = SendCommands(curl, directory, {QStringLiteral("*rm ") + to, rename});
    }
    return UploadOutcome(curl, result, stop);
}

std::optional<UpdateFailure> Publish(CurlEasy& curl, const FtpTarget& target, const std::string& directory,
                                     const std::stop_token& stop)
{
    QString temporary;
    PageFile page;
    if (auto failure = PreparePage(target, temporary, page))
        return failure;
    if (auto failure = StoreFile(curl, page, directory + EscapeAll(temporary), stop))
        return failure;
    return RenameOver(curl, target, directory, temporary, stop);
}

}  // namespace

std::optional<UpdateFailure> SftpSession(const FtpTarget& target, const StatusReporter& status,
                                         const std::stop_token& stop, bool upload)
{
    // Outlives the handle that reports to it.
    HostKeyCheck check{target.serverKey};
    return RunSession(
        target, upload, status, stop,
        [&](CurlEasy& curl, const std::string& directory) {
            return OpenDirectory(curl, target, stop, directory, check);
        },
        [&](CurlEasy& curl, const std::string& directory) { return Publish(curl, target, directory, stop); });
}

}  // namespace quendrel
