#include "app/instance_channel.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_log.h"
#include "app/lifecycle.h"
#include "ui/app_actions.h"

// The conversation, one line each way, UTF-8:
//   client: "update" or "show"
//   server: "ok" at once when it takes the command, then for "update" one
//           "status <text>" per status text and, last, "end 0" (the page
//           was uploaded) or "end 1" (the update failed); for "show",
//           "end 0". Then it closes. A status text's line breaks and
//           backslashes are sent as \n, \r and \\.

namespace quendrel {

namespace {

// A command is one short line. A client that sends more, or no whole line
// in this time, is dropped, so that nobody can tie the program up.
constexpr qsizetype kMaxCommandLine = 64;
constexpr int kCommandWaitMs = 3000;
// How long a later start waits for the running program to take a command.
constexpr int kAnswerWaitMs = 2000;
// Blocking waits are cut into slices this long to see a stop request soon.
constexpr int kSliceMs = 100;
// How long a later start follows a cycle at most: far longer than the
// network limits let a cycle take, so only a program that called its cycle
// off without a word (it is ending) runs into it.
constexpr int kFollowLimitMs = 10 * 60 * 1000;
// No answer line is anywhere near this long.
constexpr qsizetype kMaxAnswerLine = 64 * 1024;

const QByteArray kAccepted = QByteArrayLiteral("ok");
const QByteArray kStatusPrefix = QByteArrayLiteral("status ");
const QByteArray kEndPrefix = QByteArrayLiteral("end ");

QByteArray EscapedLine(const QString& text)
{
    QByteArray line;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else
            line += c;
    }
    return line;
}

QString UnescapedLine(const QByteArray& line)
{
    QByteArray text;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            text += line[i];
            continue;
        }
        const char next = line[++i];
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return QString::fromUtf8(text);
}

// True when the process at the other end runs as this user (root is
// trusted too: it can reach the socket whatever its mode).
bool PeerIsThisUserOrRoot(qintptr descriptor)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           (peer.uid == ::getuid() || peer.uid == 0);
}

// The socket's folder must be the user's own and closed to others, or a
// sticky one like /tmp, where nobody can replace another user's socket.
bool DirectoryIsSafe(const QString& directory)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(directory).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    const bool own = info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    return own || (info.st_mode & S_ISVTX) != 0;
}

// Clears the way for listening at path. A socket of this user's that
// refuses connections was left by a killed instance and is removed; one
// that answers belongs to a live program and stays, as does anything that
// is not this user's socket.
bool ClearLeftoverSocket(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
        qCWarning(lcApp) << "Not listening:" << path << "is not a socket of this user's";
        return false;
    }
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kAnswerWaitMs)) {
        qCWarning(lcApp) << "Not listening: another program answers at" << path;
        return false;
    }
    if (probe.error() != QLocalSocket::ConnectionRefusedError && probe.error() != QLocalSocket::ServerNotFoundError) {
        qCWarning(lcApp) << "Not listening: cannot tell whether" << path << "is in use:" << probe.errorString();
        return false;
    }
    qCInfo(lcApp) << "Removing the socket a stopped instance left at" << path;
    return QLocalServer::removeServer(path);
}

// One client: takes its command line, carries it out and answers. Lives
// as long as its socket.
class ChannelSession : public QObject {
public:
    ChannelSession(Lifecycle& life, QLocalSocket* socket) : QObject(socket), life_(life), socket_(socket)
    {
        // Qt reads no more than this ahead: a flood stays in the kernel.
        socket_->setReadBufferSize(kMaxCommandLine + 1);
        connect(socket_, &QLocalSocket::readyRead, this, &ChannelSession::OnReadyRead);
        connect(socket_, &QLocalSocket::disconnected, socket_, &QObject::deleteLater);
        QTimer::singleShot(kCommandWaitMs, this, [this] {
            if (!commandTaken_)
                Drop("it sent no command in time");
        });
        OnReadyRead();
    }

private:
    void OnReadyRead()
    {
        if (commandTaken_) {
            socket_->readAll();  // nothing more is expected; it is ignored
            return;
        }
        if (!socket_->canReadLine()) {
            if (socket_->bytesAvailable() > kMaxCommandLine)
                Drop("its command is too long");
            return;
        }
        commandTaken_ = true;
        const QByteArray command = socket_->readLine().trimmed();
        if (command == kUpdateCommand)
            FollowUpdate();
        else if (command == kShowCommand)
            Show();
        else
            Drop("it sent an unknown command");
    }

    void Show()
    {
        qCInfo(lcApp) << "Showing the window for a later start";
        Send(kAccepted);
        life_.ShowMainWindow();
        End(0);
    }

    // Starts an update, or follows the one running: no two cycles ever
    // write the same page file at once.
    void FollowUpdate()
    {
        Send(kAccepted);
        connect(&life_.State(), &ProgramState::StatusTextSet, this,
                [this](const QString& text) { Send(kStatusPrefix + EscapedLine(text)); });
        // A refused cycle ends within the trigger: connected first.
        connect(&life_, &Lifecycle::UpdateEnded, this,
                [this] { End(life_.State().Image() == StateImage::Failed ? 1 : 0); });
        if (life_.IsUpdating()) {
            qCInfo(lcApp) << "A later start follows the update that is running";
            Send(kStatusPrefix + EscapedLine(life_.State().StatusText()));
        } else if (life_.IsTesting()) {
            // No update runs beside a test of the settings; the request
            // waits for its end rather than failing for it.
            qCInfo(lcApp) << "A later start waits for the settings test that is running";
            connect(&life_, &Lifecycle::TestEnded, this, &ChannelSession::StartUpdate,
                    Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        } else {
            StartUpdate();
        }
    }

    void StartUpdate()
    {
        qCInfo(lcApp) << "Updating for a later start";
        life_.Actions().mnuUpdate->trigger();
        // Refused without a cycle and without an end (the program is
        // ending): the client is not left waiting.
        if (!ended_ && !life_.IsUpdating())
            End(1);
    }

    void Send(const QByteArray& line)
    {
        // A client that went away mid-cycle is simply no longer told.
        if (socket_->state() == QLocalSocket::ConnectedState)
            socket_->write(line + '\n');
    }

    void End(int status)
    {
        ended_ = true;
        disconnect(&life_.State(), nullptr, this, nullptr);
        disconnect(&life_, nullptr, this, nullptr);
        Send(kEndPrefix + QByteArray::number(status));
        socket_->disconnectFromServer();  // after what is still to be written
    }

    void Drop(const char* reason)
    {
        qCInfo(lcApp) << "Dropping a client of the instance channel:" << reason;
        commandTaken_ = true;
        socket_->abort();
        socket_->deleteLater();
    }

    Lifecycle& life_;
    QLocalSocket* socket_;
    bool commandTaken_ = false;
    bool ended_ = false;
};

// What a later start makes of one answer line; nullopt while the answer
// goes on.
std::optional<int> TakeAnswerLine(const QByteArray& line, const std::function<void(const QString&)>& onStatus)
{
    if (line.startsWith(kStatusPrefix)) {
        onStatus(UnescapedLine(line.mid(kStatusPrefix.size())));
        return std::nullopt;
    }
    if (line == kEndPrefix + '0')
        return 0;
    qCInfo(lcApp) << "The running instance's update ended with" << line;
    return 1;
}

}  // namespace

QString ChannelPathFor(const QString& lockPath)
{
    return lockPath + QStringLiteral(".sock");
}

InstanceServer::InstanceServer(Lifecycle& life, QString path, QObject* parent)
    : QObject(parent), life_(life), path_(std::move(path))
{
}

bool InstanceServer::Listen()
{
    if (server_ != nullptr)
        return true;
    if (!DirectoryIsSafe(QFileInfo(path_).absolutePath())) {
        qCWarning(lcApp) << "Not listening: others may write in the folder of" << path_;
        return false;
    }
    if (!ClearLeftoverSocket(path_))
        return false;
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path_)) {
        qCWarning(lcApp) << "Not listening at" << path_ << ":" << server->errorString();
        delete server;
        return false;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::TakeConnections);
    qCInfo(lcApp) << "Listening for later starts at" << path_;
    return true;
}

void InstanceServer::TakeConnections()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (PeerIsThisUserOrRoot(socket->socketDescriptor())) {
            new ChannelSession(life_, socket);
        } else {
            qCWarning(lcApp) << "Refusing a client of another user";
            socket->abort();
            socket->deleteLater();
        }
    }
}

bool InstanceListens(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    return socket.waitForConnected(kAnswerWaitMs) && PeerIsThisUserOrRoot(socket.socketDescriptor());
}

std::optional<int> AskRunningInstance(const QString& path, const QByteArray& command,
                                      const std::function<void(const QString&)>& onStatus,
                                      const std::function<bool()>& stopRequested)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    const QDeadlineTimer answerDeadline(kAnswerWaitMs);
    while (socket.state() == QLocalSocket::ConnectingState && !answerDeadline.hasExpired() && !stopRequested())
        socket.waitForConnected(kSliceMs);
    if (socket.state() != QLocalSocket::ConnectedState)
        return std::nullopt;  // no socket, one nobody listens at, or no time left
    if (!PeerIsThisUserOrRoot(socket.socketDescriptor())) {
        qCWarning(lcApp) << "Not asking: another user's program listens at" << path;
        return std::nullopt;
    }
    socket.write(command + '\n');
    bool accepted = false;
    const QDeadlineTimer followDeadline(kFollowLimitMs);
    while (!stopRequested()) {
        if (followDeadline.hasExpired()) {
            qCWarning(lcApp) << "The running instance did not end the update in time";
            return 1;
        }
        while (socket.canReadLine()) {
            const QByteArray line = socket.readLine(kMaxAnswerLine).chopped(1);
            if (!accepted && line != kAccepted)
                return std::nullopt;
            if (!accepted) {
                accepted = true;
                continue;
            }
            if (const std::optional<int> end = TakeAnswerLine(line, onStatus))
                return end;
        }
        if (socket.bytesAvailable() >= kMaxAnswerLine || socket.state() != QLocalSocket::ConnectedState) {
            if (!accepted)
                return std::nullopt;
            qCWarning(lcApp) << "The running instance stopped answering before the update ended";
            return 1;
        }
        if (!accepted && answerDeadline.hasExpired()) {
            qCWarning(lcApp) << "The running instance did not answer in time at" << path;
            return std::nullopt;
        }
        socket.waitForReadyRead(kSliceMs);
    }
    return std::nullopt;
}

}  // namespace quendrel
