#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "update/curl_handle.h"
#include "update/ftp_upload.h"
#include "update/status_reporter.h"
#include "update/update_failure.h"

// The steps an upload takes on its connection, whatever the protocol.
namespace quendrel {

// A text as one URL path piece: every byte but the unreserved ones escaped,
// "/" included.
std::string EscapeAll(const QString& text);

using FileHandle = std::unique_ptr<FILE, decltype(&std::fclose)>;

struct PageFile {
    FileHandle file{nullptr, &std::fclose};
    curl_off_t size = 0;
};

// The temporary name for the target's page, and its local file opened.
// A name with a line break or a NUL is refused: the rename commands go out
// a line at a time, and a NUL would end the name.
std::optional<UpdateFailure> PreparePage(const FtpTarget& target, QString& temporary, PageFile& page);

// "Unable to Upload HTML Page.." with libcurl's words, cancelled when
// stopped, nothing when the transfer worked.
std::optional<UpdateFailure> UploadOutcome(const CurlEasy& curl, CURLcode result, const std::stop_token& stop);

// Commands on the connection that is in the directory already: a NOBODY
// request of the directory sends its QUOTE commands there and nothing else.
// A "*" before a command: its refusal fails nothing (and, unlike a failed
// transfer, keeps the connection).
CURLcode SendCommands(CurlEasy& curl, const std::string& directory, const QStringList& commands);

// "Establishing Internet Connection..", "Connecting to " + server + "..",
// and the URL of the remote directory into directory. Fails when libcurl
// has no handle, or no URL can name the server and port.
std::optional<UpdateFailure> BeginSession(const CurlEasy& curl, const FtpTarget& target, const StatusReporter& status,
                                          std::string& directory);

// "Closing Internet Connection..", then a request that says nothing and
// closes the connection at its end (FTP's QUIT), inside a transfer where a
// stop request still reaches it.
std::optional<UpdateFailure> CloseSession(CurlEasy& curl, const std::string& directory, const StatusReporter& status,
                                          const std::stop_token& stop);

// One connection's work: the session begins, logIn logs in and enters the
// directory, publish (when upload) stores the page, and the session is
// closed. After a failure the connection is cut, without a goodbye, when
// the handle goes.
template <typename LogIn, typename Publish>
std::optional<UpdateFailure> RunSession(const FtpTarget& target, bool upload, const StatusReporter& status,
                                        const std::stop_token& stop, LogIn logIn, Publish publish)
{
    CurlEasy curl;
    std::string directory;
    if (auto failure = BeginSession(curl, target, status, directory))
        return failure;
    if (auto failure = logIn(curl, directory))
        return failure;
    if (upload) {
        status(update_text::kUploading);
        if (auto failure = publish(curl, directory))
            return failure;
    }
    return CloseSession(curl, directory, status, stop);
}

}  // namespace quendrel
