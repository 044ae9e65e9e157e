#pragma once

#include <QString>

#include "support/test_files.h"
#include "support/test_servers.h"

namespace quendrel::test {

// The local FTP over TLS (explicit and implicit) and SFTP servers of
// support/secure_servers.py; its header tells what each server accepts and
// which files it makes.
class SecureTestServers {
public:
    // Makes the keys and certificates too.
    bool Start()
    {
        return script_.Start(QStringLiteral("secure_servers.py"),
                             QStringLiteral("^READY ftpes=(?<ftpes>\\d+) ftps=(?<ftps>\\d+) sftp=(?<sftp>\\d+)\\n$"), 30000);
    }

    // The port of server "ftpes" (AUTH TLS on a plain port), "ftps" (TLS
    // from the first byte) or "sftp"; "<server>.log" is its log.
    quint16 Port(const QString& server) const { return script_.Ready(server).toUShort(); }
    QString Path(const QString& name) const { return script_.Path(name); }
    // A file's text without the line end: a key, a pin or a known_hosts line.
    QString Text(const QString& name) const { return QString::fromUtf8(ReadFile(script_.Path(name))).trimmed(); }

private:
    ServerScript script_;
};

}  // namespace quendrel::test
