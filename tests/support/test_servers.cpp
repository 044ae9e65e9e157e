#include "support/test_servers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QtDebug>

namespace quendrel::test {

namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 3000;

}  // namespace

TestServers::TestServers()
{
    process_.setProgram(QStringLiteral("/usr/bin/python3"));
    process_.setProcessChannelMode(QProcess::SeparateChannels);
}

TestServers::~TestServers()
{
    Stop();
}

bool TestServers::Start()
{
    if (!root_.isValid()) {
        qWarning("TestServers: no temporary directory: %s", qPrintable(root_.errorString()));
        return false;
    }
    // Into a file rather than a pipe: a pipe nobody reads could fill up and
    // stall the servers in the middle of a test.
    process_.setStandardErrorFile(ErrorLogPath());
    process_.setArguments({QStringLiteral(QUENDREL_TEST_SUPPORT_DIR "/servers.py"), QStringLiteral("--root"),
                           root_.path()});
    process_.start(QIODevice::ReadWrite);  // stdin stays open: the script ends at its end

    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning && !deadline.hasExpired())
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray line = process_.canReadLine() ? process_.readLine() : process_.readAll();
    if (ParseReadyLine(line))
        return true;
    Stop();
    qWarning("TestServers: the servers did not start (%s; first line \"%s\"):\n%s",
             qPrintable(process_.errorString()), line.trimmed().constData(), ReadErrorLog().constData());
    return false;
}

bool TestServers::ParseReadyLine(const QByteArray& line)
{
    static const QRegularExpression ready(
        QStringLiteral("^READY http=(\\d+) ftp=(\\d+) silent=(\\d+)\\n?$"));
    const QRegularExpressionMatch match = ready.match(QString::fromLatin1(line));
    if (!match.hasMatch())
        return false;
    bool ok[3] = {};
    const uint ports[3] = {match.captured(1).toUInt(&ok[0]), match.captured(2).toUInt(&ok[1]),
                           match.captured(3).toUInt(&ok[2])};
    for (int i = 0; i < 3; ++i) {
        if (!ok[i] || ports[i] == 0 || ports[i] > 65535)
            return false;
    }
    httpPort_ = static_cast<quint16>(ports[0]);
    ftpPort_ = static_cast<quint16>(ports[1]);
    silentPort_ = static_cast<quint16>(ports[2]);
    return true;
}

void TestServers::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    process_.terminate();  // SIGTERM
    if (!process_.waitForFinished(kStopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(kStopTimeoutMs);
    }
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) {
        qWarning("TestServers: the servers ended badly (exit code %d):\n%s", process_.exitCode(),
                 ReadErrorLog().constData());
    }
}

QString TestServers::ErrorLogPath() const
{
    return root_.path() + QStringLiteral("/servers.stderr");
}

QByteArray TestServers::ReadErrorLog() const
{
    QFile file(ErrorLogPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString TestServers::HttpUrl(const QString& pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(httpPort_) + pathAndQuery;
}

QString TestServers::FtpRoot() const
{
    return root_.path() + QStringLiteral("/ftp");
}

QString TestServers::FtpCommandLog() const
{
    return Root() + QStringLiteral("/ftp-commands.log");
}

QString TestServers::Root() const
{
    return root_.path();
}

}  // namespace quendrel::test
