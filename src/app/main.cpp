#include <QApplication>
#include <QSessionManager>

#include "app/lifecycle.h"
#include "app/single_instance.h"
#include "app/unix_signals.h"
#include "common/program_paths.h"
#include "ui/state_images.h"
#include "update/curl_handle.h"
#include "version.h"

int main(int argc, char** argv)
{
    using namespace quendrel;

    // A second start ends here, before it opens a display or writes anything.
    SingleInstanceLock instanceLock;
    if (!instanceLock.TryAcquire(LockPathFor(ExecutablePath().toStdString())))
        return 0;
    UnixSignals::Install();
    // libcurl is set up once, before any thread of the program or of Qt.
    const CurlGlobal curlGlobal;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(kAppTitle));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    QApplication::setWindowIcon(WindowIcon());
    // Hiding or closing windows never ends the program; only Exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    Lifecycle lifecycle;
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
    return app.exec();
}
