#include "support/test_servers.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QtDebug>

#include "support/test_files.h"

namespace quendrel::test {

namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 3000;

}  // namespace

TestServers::TestServers()
{
    process_.setProgram(QStringLiteral("/usr/bin/python3"));
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
    process_.setStandardErrorFile(ErrorLog());
    process_.setArguments({QStringLiteral(QUENDREL_TEST_SUPPORT_DIR "/servers.py"), QStringLiteral("--root"),
                           root_.path()});
    process_.start(QIODevice::ReadWrite);  // stdin stays open: the script ends at its end
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning && !deadline.hasExpired())
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray line = process_.canReadLine() ? process_.readLine() : process_.readAll();
    static const QRegularExpression ready(QStringLiteral("^READY http=(\\d+) ftp=(\\d+) silent=(\\d+)\\n$"));
    const QRegularExpressionMatch match = ready.match(QString::fromLatin1(line));
    httpPort_ = match.captured(1).toUShort();
    ftpPort_ = match.captured(2).toUShort();
    silentPort_ = match.captured(3).toUShort();
    if (httpPort_ && ftpPort_ && silentPort_)
        return true;
    Stop();
    qWarning("TestServers: the servers did not start (%s; first line \"%s\"):\n%s",
             qPrintable(process_.errorString()), line.trimmed().constData(), ReadFile(ErrorLog()).constData());
    return false;
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
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0)
        qWarning("TestServers: the servers ended badly (exit code %d):\n%s", process_.exitCode(),
                 ReadFile(ErrorLog()).constData());
}

bool TestServers::SilentPortConnected() const
{
    // The server's end of an established connection: local address
    // 127.0.0.1:port, state 01.
    const QByteArray local = "0100007F:" + QByteArray::number(silentPort_, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : ReadFile(QStringLiteral("/proc/net/tcp")).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "01")
            return true;
    }
    return false;
}

QString TestServers::HttpUrl(const QString& pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(httpPort_) + pathAndQuery;
}

}  // namespace quendrel::test
