#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QtDebug>

namespace quendrel::test {

// A server script of support/ run with --root and a private temporary
// directory, for as long as this object lives.
//
// The script's stdin stays an open pipe: it ends when the pipe closes, so a
// test that crashes does not leave the servers behind. Its error output goes
// to the test's own.
class ServerScript {
public:
    // SIGTERM; the script then stops its servers and ends with status 0.
    ~ServerScript()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000) || process_.exitStatus() != QProcess::NormalExit || process_.exitCode())
            qWarning("%s: the servers ended badly (exit code %d)", qPrintable(script_), process_.exitCode());
    }

    // Starts the script and waits for its line that says all listen, matched
    // by ready; false, with a warning, when it did not come.
    bool Start(const QString& script, const QString& ready, int milliseconds)
    {
        script_ = script;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(QUENDREL_TEST_SUPPORT_DIR "/") + script, QStringLiteral("--root"), root_.path()});
        // The line may come in pieces (the script's output may be unbuffered).
        const QDeadlineTimer deadline(milliseconds);
        while (!process_.canReadLine() && process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        ready_ = QRegularExpression(ready).match(QString::fromLatin1(process_.readLine()));
        if (!ready_.hasMatch())
            qWarning("%s: the servers did not start: %s", qPrintable(script), qPrintable(process_.errorString()));
        return ready_.hasMatch();
    }

    // A group of the ready line, a port; nothing before it came.
    QString Ready(QStringView group) const { return ready_.captured(group); }
    QString Path(const QString& name) const { return root_.filePath(name); }

private:
    QTemporaryDir root_;
    QProcess process_;
    QString script_;
    QRegularExpressionMatch ready_;
};

// The local HTTP and FTP servers of support/servers.py.
class TestServers {
public:
    bool Start()
    {
        return script_.Start(QStringLiteral("servers.py"),
                             QStringLiteral("^READY http=(?<http>\\d+) ftp=(?<ftp>\\d+) silent=\\d+\\n$"), 15000);
    }

    quint16 FtpPort() const { return script_.Ready(u"ftp").toUShort(); }
    // "http://127.0.0.1:<port>" followed by path ("/ip", "/echo?body=...").
    QString HttpUrl(const QString& path) const { return "http://127.0.0.1:" + script_.Ready(u"http") + path; }
    // The directory all FTP users log in to; it holds "site" and
    // "site/nested dir/deeper".
    QString FtpRoot() const { return script_.Path(QStringLiteral("ftp")); }
    // Every command the FTP server received, one per line; PASS and EPRT
    // without their arguments.
    QString FtpCommandLog() const { return script_.Path(QStringLiteral("ftp-commands.log")); }

private:
    ServerScript script_;
};

}  // namespace quendrel::test
