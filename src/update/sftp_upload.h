#pragma once

#include <optional>
#include <stop_token>

#include "update/ftp_upload.h"

namespace quendrel {

// UploadPageFile (upload) or CheckFtpLogin (not) over SFTP. The login:
// with a password, that password; without, the SSH agent and the keys in
// ~/.ssh (id_ed25519, id_ecdsa, id_rsa, each tried in turn). The server's
// host key must be the trusted one when target.serverKey holds one, and
// otherwise the one ~/.ssh/known_hosts holds for the server; this file is
// only read. The login lists the remote directory, which must exist. The
// page goes up under a temporary name and is renamed over the old one; a
// server that will not rename over a file (OpenSSH's does not) gets the old
// page removed first, so a visitor may for a moment find none, but never a
// part of one.
std::optional<UpdateFailure> SftpSession(const FtpTarget& target, const StatusReporter& status,
                                         const std::stop_token& stop, bool upload);

}  // namespace quendrel
