#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QtDebug>

namespace quendrel::test {

// The local HTTP and FTP servers of support/servers.py, in a private
// temporary directory, for as long as this object lives.
//
// The script's stdin stays an open pipe: it ends when the pipe closes, so a
// test that crashes does not leave the servers behind. Its error output goes
// to the test's own.
class TestServers {
public:
    // SIGTERM; the script then ends with status 0.
    ~TestServers()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000) || process_.exitStatus() != QProcess::NormalExit || process_.exitCode())
            qWarning("TestServers: the servers ended badly (exit code %d)", process_.exitCode());
    }

    // Starts the servers and waits until they listen; false, with a warning,
    // when they did not come up.
    bool Start()
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString script = QStringLiteral(QUENDREL_TEST_SUPPORT_DIR "/servers.py");
        process_.start(QStringLiteral("/usr/bin/python3"), {script, QStringLiteral("--root"), root_.path()});
        // The line may come in pieces (the script's output may be unbuffered).
        const QDeadlineTimer deadline(15000);
        while (!process_.canReadLine() && process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        static const QRegularExpression ready(
            QStringLiteral("^READY http=(?<http>\\d+) ftp=(?<ftp>\\d+) silent=\\d+\\n$"));
        ports_ = ready.match(QString::fromLatin1(process_.readLine()));
        if (!ports_.hasMatch())
            qWarning("TestServers: the servers did not start: %s", qPrintable(process_.errorString()));
        return ports_.hasMatch();
    }

    quint16 FtpPort() const { return ports_.captured(u"ftp").toUShort(); }
    // "http://127.0.0.1:<port>" followed by path ("/ip", "/echo?body=...").
    QString HttpUrl(const QString& path) const { return "http://127.0.0.1:" + ports_.captured(u"http") + path; }
    // The directory all FTP users log in to; it holds "site" and
    // "site/nested dir/deeper".
    QString FtpRoot() const { return root_.filePath(QStringLiteral("ftp")); }
    // Every command the FTP server received, one per line; PASS and EPRT
    // without their arguments.
    QString FtpCommandLog() const { return root_.filePath(QStringLiteral("ftp-commands.log")); }

private:
    QTemporaryDir root_;
    QProcess process_;
    // The READY line's match; no ports before it came.
    QRegularExpressionMatch ports_;
};

}  // namespace quendrel::test
