#pragma once

#include <QString>

#include <optional>
#include <stop_token>
#include <string>

#include "update/status_reporter.h"
#include "update/transfer_protocol.h"
#include "update/update_failure.h"

namespace quendrel {

struct FtpTarget {
    QString server;
    int port = 21;
    QString username;
    QString password;
    // Entered with one CWD before the upload; empty for the login directory.
    QString remotePath;
    bool active = false;
    QString localFile;
    QString destFilename;
    TransferProtocol protocol = TransferProtocol::Ftp;
    // "SHA256:..." to accept this key only; empty: verified the usual way.
    QString serverKey = {};
};

// The URL of the remote directory, ending in "/", or nothing when the
// server or port cannot stand in a URL. The path is one escaped piece:
// libcurl decodes it before splitting it at "/", so an absolute path begins
// with an escaped "/" and the directory is entered with one CWD of the
// whole path.
// For SFTP, an sftp:// URL whose path is relative to the login directory
// unless remotePath begins with "/".
std::optional<std::string> FtpDirectoryUrl(const QString& server, int port, const QString& remotePath,
                                           TransferProtocol protocol = TransferProtocol::Ftp);

// Logs in, enters the remote directory and stores the local file there
// under a temporary name, then renames that over the destination name, so
// that what was there is replaced whole or not at all; where the server
// refuses the rename, the file is stored under the destination name itself
// (logged). Fails with "Unable to Connect to " + server, "Unable to Set
// Remote Directory.." or "Unable to Upload HTML Page..", each with libcurl's
// words and the server's last reply as the detail.
std::optional<UpdateFailure> UploadPageFile(const FtpTarget& target, const StatusReporter& status,
                                            std::stop_token stop);

// Logs in and enters the remote directory as an upload does, then leaves
// with QUIT: nothing is stored. Fails as UploadPageFile does before its
// upload.
std::optional<UpdateFailure> CheckFtpLogin(const FtpTarget& target, const StatusReporter& status,
                                           std::stop_token stop);

}  // namespace quendrel
