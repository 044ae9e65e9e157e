#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include "app/lifecycle.h"
#include "common/file_io.h"
#include "schedule/scheduler.h"
#include "ui/app_actions.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/tray_icon.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestLifecycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const ProgramFiles files_ = ProgramFiles::In(dir_.path());

private slots:
    void initTestCase()
    {
        // The autostart entry, if any, goes here and not into the user's own.
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }

    // A user's path from the load through the menus to the end of the session.
    void fromLoadToEndNow()
    {
        QCOMPARE(WriteWholeFile(files_.settingsFile, "[Settings]\nServer=loaded\n"), 0);
        Lifecycle life(nullptr, files_);
        QVERIFY(!life.MainWindow());  // created when first shown
        life.Load();
        QCOMPARE(life.Settings().Text(Setting::Server), u"loaded"_s);
        QCOMPARE(life.State().StatusText(), u"Quendrel"_s);
        QVERIFY(life.State().StartPending);
        QCOMPARE(life.State().TickCounter, 0);
        QVERIFY(life.State().CurrentIP().isEmpty());
        QVERIFY(life.Schedule().IsActive());
        QCOMPARE(life.Tray()->Tip(), u"Quendrel"_s);
        QVERIFY(life.Tray()->IsShown());
        // The offscreen platform has no notification area: the window shows, without a close button.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        FrmMain* window = life.MainWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));

        // One action per command, shared by the window's menus and the tray menu.
        AppActions& actions = life.Actions();
        const QList<QAction*> file = window->findChild<QMenu*>(u"mnuMain_File"_s)->actions();
        QCOMPARE(file, (QList<QAction*>{actions.mnuUpdate, actions.mnuCopyIP, file.value(2), actions.mnuExit}));
        const QList<QAction*> help = window->findChild<QMenu*>(u"mnuMain_Help"_s)->actions();
        QCOMPARE(help, (QList<QAction*>{actions.mnuHelp, actions.mnuAbout}));
        QStringList trayItems;
        for (QAction* item : actions.TrayMenu()->actions())
            trayItems << (item->isSeparator() ? u"-"_s : item->text());
        QCOMPARE(trayItems, QStringList({"Show", "Update", "Copy IP", "-", "Help", "About", "-", "Exit"}));

        // Show/Hide is named, as the tray menu opens, from the window's visibility, and toggles it.
        for (const bool shown : {true, false}) {
            emit actions.TrayMenu()->aboutToShow();
            QCOMPARE(actions.mnuShow->text(), shown ? u"Hide"_s : u"Show"_s);
            actions.mnuShow->trigger();
            QCOMPARE(window->isVisible(), !shown);
        }

        // Copy IP: only with an address (a disabled action does nothing), which it copies exactly.
        QVERIFY(!actions.mnuCopyIP->isEnabled());
        life.State().SetCurrentIP(u"192.0.2.1, 198.51.100.2"_s);
        actions.mnuCopyIP->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"192.0.2.1, 198.51.100.2"_s);
        life.State().SetCurrentIP(QString());
        QVERIFY(!actions.mnuCopyIP->isEnabled());

        // A signal or the session's end: everything goes at once, an open About window too.
        actions.mnuAbout->trigger();
        QPointer<FrmAbout> about = life.AboutWindow();
        QSignalSpy finished(&life, &Lifecycle::Finished);
        life.EndNow();
        QVERIFY(!life.Tray()->IsShown());
        QTRY_VERIFY(about.isNull());
        QCOMPARE(finished.count(), 1);
    }

    void exitWaitsForTheAboutWindow()
    {
        Lifecycle life(nullptr, files_);
        life.Load();
        QPointer<FrmMain> window = life.MainWindow();
        life.Actions().mnuAbout->trigger();
        QPointer<FrmAbout> about = life.AboutWindow();
        about->showMinimized();
        life.Actions().mnuAbout->trigger();
        QCOMPARE(life.AboutWindow(), about.data());  // one About window at most...
        QVERIFY(!about->isMinimized());              // ...brought back when asked for again
        QSignalSpy finished(&life, &Lifecycle::Finished);
        life.Actions().mnuExit->trigger();
        // The main window and the icon go at once; the program waits for About.
        QVERIFY(!life.Tray()->IsShown());
        QVERIFY(!window->isVisible());
        QTRY_VERIFY(!window);
        QCOMPARE(finished.count(), 0);
        QVERIFY(about->isVisible());
        life.ShowMainWindow();  // nothing comes back after the unload
        QVERIFY(!life.MainWindow());
        about->close();
        QTRY_COMPARE(finished.count(), 1);
    }

    // Help opens the help file only when it is there and not hidden.
    void helpOpensOnlyAVisibleRegularFile()
    {
        QTemporaryDir dir;
        QList<QUrl> urls;
        const UrlOpener record = [&urls](const QUrl& url) { urls << url; };
        const auto help = [&](const QString& name) { ShowHelp(record, dir.filePath(name)); };
        help(u"Quendrel.chm"_s);
        QCOMPARE(urls, QList<QUrl>());  // missing
        QCOMPARE(WriteWholeFile(dir.filePath(u".Quendrel.chm"_s), {}), 0);
        help(u".Quendrel.chm"_s);
        QCOMPARE(urls, QList<QUrl>());  // hidden
        QCOMPARE(WriteWholeFile(dir.filePath(u"Quendrel.chm"_s), {}), 0);
        help(u"Quendrel.chm"_s);
        QCOMPARE(urls, QList{QUrl::fromLocalFile(dir.filePath(u"Quendrel.chm"_s))});
    }
};

QTEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
