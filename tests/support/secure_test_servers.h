#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QtDebug>

#include "support/test_files.h"

namespace quendrel::test {

// The local FTP over TLS (explicit and implicit) and SFTP servers of
// support/secure_servers.py, in a private temporary directory, for as long as
// this object lives. The script's header tells what each server accepts.
//
// The script's stdin stays an open pipe: it ends when the pipe closes, so a
// test that crashes does not leave the servers behind. Its error output goes
// to the test's own.
class SecureTestServers {
public:
    // SIGTERM; the script then stops the servers and ends with status 0.
    ~SecureTestServers()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000) || process_.exitStatus() != QProcess::NormalExit || process_.exitCode())
            qWarning("SecureTestServers: the servers ended badly (exit code %d)", process_.exitCode());
    }

    // Makes the keys and certificates, starts the servers and waits until
    // they listen; false, with a warning, when they did not come up.
    bool Start()
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString script = QStringLiteral(QUENDREL_TEST_SUPPORT_DIR "/secure_servers.py");
        process_.start(QStringLiteral("/usr/bin/python3"), {script, QStringLiteral("--root"), root_.path()});
        // The line may come in pieces (the script's output may be unbuffered).
        const QDeadlineTimer deadline(30000);
        while (!process_.canReadLine() && process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        static const QRegularExpression ready(
            QStringLiteral("^READY ftpes=(?<ftpes>\\d+) ftps=(?<ftps>\\d+) sftp=(?<sftp>\\d+)\\n$"));
        ports_ = ready.match(QString::fromLatin1(process_.readLine()));
        if (!ports_.hasMatch())
            qWarning("SecureTestServers: the servers did not start: %s", qPrintable(process_.errorString()));
        return ports_.hasMatch();
    }

    // FTP with AUTH TLS on a plain port, FTP with TLS from the first byte,
    // and SFTP.
    quint16 FtpesPort() const { return ports_.captured(u"ftpes").toUShort(); }
    quint16 FtpsPort() const { return ports_.captured(u"ftps").toUShort(); }
    quint16 SftpPort() const { return ports_.captured(u"sftp").toUShort(); }

    // The test CA's certificate (PEM), which signed the FTP servers' one.
    QString CaFile() const { return root_.filePath(QStringLiteral("ca.pem")); }
    // The FTP servers' public-key pin, "SHA256:<base64>" with padding.
    QString TlsKey() const { return Text(QStringLiteral("tls-key.txt")); }
    // sshd's host key fingerprint, "SHA256:<base64>" without padding.
    QString HostKey() const { return Text(QStringLiteral("host-key.txt")); }
    // "[127.0.0.1]:<port> ssh-ed25519 AAAA...", for a known_hosts file.
    QString KnownHostsLine() const { return Text(QStringLiteral("known_hosts")); }
    // The SFTP user "tester"'s private key (no passphrase); ".pub" beside it.
    QString ClientKey() const { return root_.filePath(QStringLiteral("client/id_ed25519")); }

    // "site" in the FTP login directory, where anonymous may write (in the
    // login directory itself it may not).
    QString FtpSite() const { return root_.filePath(QStringLiteral("ftp/site")); }
    // The SFTP login directory; it holds "site".
    QString SftpHome() const { return root_.filePath(QStringLiteral("home")); }

    // Every FTP command and reply, PASS without its argument.
    QString FtpesLog() const { return root_.filePath(QStringLiteral("ftpes.log")); }
    QString FtpsLog() const { return root_.filePath(QStringLiteral("ftps.log")); }
    // sshd's log, with the SFTP opens, renames and removes; lines end in CR LF.
    QString SshdLog() const { return root_.filePath(QStringLiteral("sshd.log")); }

private:
    QString Text(const QString& name) const { return QString::fromUtf8(ReadFile(root_.filePath(name))).trimmed(); }

    QTemporaryDir root_;
    QProcess process_;
    // The READY line's match; no ports before it came.
    QRegularExpressionMatch ports_;
};

}  // namespace quendrel::test
