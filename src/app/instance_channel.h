#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;

namespace quendrel {

class Lifecycle;

// The channel between a program running in the tray and later starts of the
// same program for the same settings: a local socket beside the
// single-instance lock, readable and writable by the user alone.
QString ChannelPathFor(const QString& lockPath);

// The commands a later start may send.
inline const QByteArray kUpdateCommand = QByteArrayLiteral("update");
inline const QByteArray kShowCommand = QByteArrayLiteral("show");

// In the program running in the tray: answers "update" by running an update
// (or, while one runs, by following that one) and sending its status texts
// as they come (when it follows one, the text of the moment first) and its
// end; "show" by showing the main window. Whoever sends
// no command line, a long or unknown one, is dropped; a client that goes
// away mid-cycle leaves the cycle alone.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    InstanceServer(Lifecycle& life, QString path, QObject* parent = nullptr);

    // Listens on the channel, replacing a socket a killed instance left
    // behind. False (logged) when it cannot, or must not: the folder is
    // open to others (a sticky one like /tmp aside), something other than a
    // socket of this user's is at the path, or a program answers there.
    bool Listen();

private:
    void TakeConnections();

    Lifecycle& life_;
    QString path_;
    QLocalServer* server_ = nullptr;
};

// In a later start: whether a program of this user listens on the channel
// (connects and leaves; sends nothing).
bool InstanceListens(const QString& path);

// In a later start: sends command to the program running for these settings.
// For "update", each status text is passed to onStatus as it comes, and the
// result is the exit status of that cycle (0: the page was uploaded, 1: the
// update failed). Nothing (std::nullopt) when no program answers: no socket,
// one left behind by a killed instance, one of another user's, or no answer
// in time; 1 when the program took the command but went before the end.
// Returns early with std::nullopt when stopRequested() turns true (checked
// several times a second). Needs no event loop.
std::optional<int> AskRunningInstance(const QString& path, const QByteArray& command,
                                      const std::function<void(const QString&)>& onStatus,
                                      const std::function<bool()>& stopRequested);

}  // namespace quendrel
