#pragma once

#include <QString>

#include "support/test_files.h"
#include "support/test_servers.h"

namespace quendrel::test {

// The local FTP over TLS (explicit and implicit) and SFTP servers of
// support/secure_servers.py; its header tells what each server accepts.
class SecureTestServers {
public:
    // Makes the keys and certificates too.
    bool Start()
    {
        return script_.Start(QStringLiteral("secure_servers.py"),
                             QStringLiteral("^READY ftpes=(?<ftpes>\\d+) ftps=(?<ftps>\\d+) sftp=(?<sftp>\\d+)\\n$"), 30000);
    }

    // FTP with AUTH TLS on a plain port, FTP with TLS from the first byte,
    // and SFTP.
    quint16 FtpesPort() const { return script_.Ready(u"ftpes").toUShort(); }
    quint16 FtpsPort() const { return script_.Ready(u"ftps").toUShort(); }
    quint16 SftpPort() const { return script_.Ready(u"sftp").toUShort(); }

    // The test CA's certificate (PEM), which signed the FTP servers' one.
    QString CaFile() const { return script_.Path(QStringLiteral("ca.pem")); }
    // The FTP servers' public-key pin, "SHA256:<base64>" with padding.
    QString TlsKey() const { return Text(QStringLiteral("tls-key.txt")); }
    // sshd's host key fingerprint, "SHA256:<base64>" without padding.
    QString HostKey() const { return Text(QStringLiteral("host-key.txt")); }
    // "[127.0.0.1]:<port> ssh-ed25519 AAAA...", for a known_hosts file.
    QString KnownHostsLine() const { return Text(QStringLiteral("known_hosts")); }
    // The SFTP user "tester"'s private key (no passphrase); ".pub" beside it.
    QString ClientKey() const { return script_.Path(QStringLiteral("client/id_ed25519")); }

    // "site" in the FTP login directory, where anonymous may write (in the
    // login directory itself it may not).
    QString FtpSite() const { return script_.Path(QStringLiteral("ftp/site")); }
    // The SFTP login directory; it holds "site".
    QString SftpHome() const { return script_.Path(QStringLiteral("home")); }

    // Every FTP command and reply, PASS without its argument.
    QString FtpesLog() const { return script_.Path(QStringLiteral("ftpes.log")); }
    QString FtpsLog() const { return script_.Path(QStringLiteral("ftps.log")); }
    // sshd's log, with the SFTP opens, renames and removes; lines end in CR LF.
    QString SshdLog() const { return script_.Path(QStringLiteral("sshd.log")); }

private:
    QString Text(const QString& name) const { return QString::fromUtf8(ReadFile(script_.Path(name))).trimmed(); }

    ServerScript script_;
};

}  // namespace quendrel::test
