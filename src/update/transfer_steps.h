#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "update/curl_handle.h"
#include "update/status_reporter.h"
#include "update/update_failure.h"

// The steps an upload takes on its connection, whatever the protocol.
namespace quendrel {

// A text as one URL path piece: every byte but the unreserved ones escaped,
// "/" included.
std::string EscapeAll(const QString& text);

// The page's name while it is uploaded, in the same directory: a name no
// one gives a file of their own, always the same, so that one left behind
// by a lost connection is stored over and renamed away by the next upload
// instead of piling up. The name's ending stays: a server may take only
// some kinds of file.
QString TemporaryName(const QString& destFilename);

using FileHandle = std::unique_ptr<FILE, decltype(&std::fclose)>;

struct PageFile {
    FileHandle file{nullptr, &std::fclose};
    curl_off_t size = 0;
};

// Opened before the transfer starts: a read that failed after the upload
// began would leave a cut file on the server.
std::optional<UpdateFailure> OpenPage(const QString& path, PageFile& page);

// "Unable to Upload HTML Page.." with libcurl's words, cancelled when
// stopped, nothing when the transfer worked.
std::optional<UpdateFailure> UploadOutcome(const CurlEasy& curl, CURLcode result, const std::stop_token& stop);

// Commands on the connection that is in the directory already: a NOBODY
// request of the directory sends its QUOTE commands there and nothing else.
// A "*" before a command: its refusal fails nothing (and, unlike a failed
// transfer, keeps the connection).
CURLcode SendCommands(CurlEasy& curl, const std::string& directory, const QStringList& commands);

// "Closing Internet Connection..", then a request that says nothing and
// closes the connection at its end (FTP's QUIT), inside a transfer where a
// stop request still reaches it.
std::optional<UpdateFailure> CloseSession(CurlEasy& curl, const std::string& directory, const StatusReporter& status,
                                          const std::stop_token& stop);

}  // namespace quendrel
