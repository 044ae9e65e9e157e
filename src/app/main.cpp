#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSessionManager>

#include <chrono>
#include <optional>
#include <thread>

#include "app/command_line.h"
#include "app/instance_channel.h"
#include "app/lifecycle.h"
#include "app/single_instance.h"
#include "app/unix_signals.h"
#include "common/program_paths.h"
#include "ui/state_images.h"
#include "update/curl_handle.h"
#include "version.h"

namespace {

using namespace quendrel;

template <typename App>
void NameApplication()
{
    App::setApplicationName(QLatin1String(kAppTitle));
    App::setApplicationVersion(VersionText());
}

// --update: no display needed, so no widget is loaded and no window made.
int RunUpdate(int argc, char** argv, const std::string& lockPath, const ProgramFiles& files)
{
    UnixSignals::Install();
    const CurlGlobal curlGlobal;
    QCoreApplication app(argc, argv);
    NameApplication<QCoreApplication>();
    return RunUpdateCommand(lockPath, files);
}

// --show while the program runs for these settings: its window comes up.
int ForwardShow(int argc, char** argv, const std::string& lockPath)
{
    QCoreApplication app(argc, argv);
    const QString channel = ChannelPathFor(QString::fromStdString(lockPath));
    AskRunningInstance(channel, kShowCommand, [](const QString&) {}, [] { return false; });
    return 0;
}

int RunTray(int argc, char** argv, bool showWindow, const std::string& lockPath, const ProgramFiles& files)
{
    // A second start ends here, before it opens a display or writes anything.
    // While an --update holds the lock (it does not listen), it waits for it.
    SingleInstanceLock instanceLock;
    const QString channelPath = ChannelPathFor(QString::fromStdString(lockPath));
    const QDeadlineTimer giveUp(kLockWaitMilliseconds);
    while (!instanceLock.TryAcquire(lockPath)) {
        if (InstanceListens(channelPath))
            return showWindow ? ForwardShow(argc, argv, lockPath) : 0;
        if (giveUp.hasExpired())
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kLockRetryMilliseconds));
    }
    UnixSignals::Install();
    // libcurl is set up once, before any thread of the program or of Qt.
    const CurlGlobal curlGlobal;

    QApplication app(argc, argv);
    NameApplication<QApplication>();
    QApplication::setWindowIcon(WindowIcon());
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopEntryId));
    // Hiding or closing windows never ends the program; only Exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    Lifecycle lifecycle(DesktopUrlOpener(), files);
    QObject::connect(&lifecycle, &Lifecycle::Finished, &app, [] { QCoreApplication::exit(0); });

    UnixSignals signals_;
    QObject::connect(&signals_, &UnixSignals::TerminationRequested, &lifecycle, &Lifecycle::EndNow);
    // The session manager asks for a save (a logout may still be cancelled);
    // when the session really ends, Qt quits and the unload runs.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &lifecycle, [&lifecycle](QSessionManager& manager) {
        manager.setRestartHint(QSessionManager::RestartNever);  // logon start is the user's own choice
        lifecycle.SaveAll();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &lifecycle, &Lifecycle::EndNow);

    lifecycle.Load();
    // Later starts for the same settings reach this one here (--update, --show).
    InstanceServer channel(lifecycle, ChannelPathFor(QString::fromStdString(lockPath)));
    channel.Listen();
    if (showWindow)
        lifecycle.ShowMainWindow();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.command)
        return parsed.exitStatus;
    const CommandLine& command = *parsed.command;

    // The folder of the settings (canonical), checked before anything is
    // created, here or in it; and the files in it.
    QString folder;
    ProgramFiles files;
    if (command.settingsFolder) {
        const std::optional<QString> usable = UsableSettingsFolder(*command.settingsFolder);
        if (!usable)
            return kExitUsage;
        folder = *usable;
        // Named, the program's own folder is still its own: one logon entry for it, not two.
        const bool own = folder == QFileInfo(OwnDirectory()).canonicalFilePath();
        files = own ? ProgramFiles::In(folder) : ProgramFiles::Chosen(folder);
    } else {
        files = ProgramFiles::In(WritableDirectory());
        folder = QFileInfo(QFileInfo(files.settingsFile).path()).canonicalFilePath();
    }
    const std::string lockPath = LockPathFor(InstanceKey(ExecutablePath(), folder));
    if (command.verbose)
        SetCurlConversationLogging(true);

    if (command.mode == RunMode::Update)
        return RunUpdate(argc, argv, lockPath, files);
    return RunTray(argc, argv, command.mode == RunMode::Show, lockPath, files);
}
