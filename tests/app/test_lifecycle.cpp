#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
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

class TestLifecycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ProgramFiles Files() const { return ProgramFiles::In(dir_.path()); }

private slots:
    void initTestCase()
    {
        // The autostart entry, if any, goes here and not into the user's own.
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }

    void loadSetsTheStartingStateAndMenus()
    {
        QCOMPARE(WriteWholeFile(Files().settingsFile, "[Settings]\nServer=loaded\n"), 0);
        Lifecycle life(nullptr, Files());
        QVERIFY(!life.MainWindow());  // created when first shown
        life.Load();
        QCOMPARE(life.Settings().Text(Setting::Server), QStringLiteral("loaded"));
        QCOMPARE(life.State().StatusText(), QStringLiteral("Quendrel"));
        QCOMPARE(life.State().StartPending, true);
        QCOMPARE(life.State().TickCounter, 0);
        QVERIFY(life.State().CurrentIP().isEmpty());
        QVERIFY(life.Schedule().IsActive());
        QCOMPARE(life.Tray()->Tip(), QStringLiteral("Quendrel"));
        QVERIFY(life.Tray()->IsShown());
        // The offscreen platform has no notification area: the window shows.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(life.MainWindow() && life.MainWindow()->isVisible());
        QVERIFY(!(life.MainWindow()->windowFlags() & Qt::WindowCloseButtonHint));

        // One action per command, shared by the window's menus and the tray menu.
        AppActions& actions = life.Actions();
        QMenu* tray = actions.TrayMenu();
        FrmMain* window = life.MainWindow();
        const auto menu = [window](const char* name) { return window->findChild<QMenu*>(QLatin1String(name))->actions(); };
        QCOMPARE(menu("mnuMain_File"), (QList<QAction*>{actions.mnuUpdate, actions.mnuCopyIP,
                                                         menu("mnuMain_File")[2], actions.mnuExit}));
        QCOMPARE(menu("mnuMain_Help"), (QList<QAction*>{actions.mnuHelp, actions.mnuAbout}));
        QStringList trayItems;
        for (QAction* item : tray->actions())
            trayItems << (item->isSeparator() ? QStringLiteral("-") : item->text());
        QCOMPARE(trayItems, QStringList({"Show", "Update", "Copy IP", "-", "Help", "About", "-", "Exit"}));

        // Show/Hide follows the window, whatever hid it.
        emit tray->aboutToShow();
        QCOMPARE(actions.mnuShow->text(), QStringLiteral("Hide"));
        actions.mnuShow->trigger();
        QVERIFY(!window->isVisible());
        emit tray->aboutToShow();
        QCOMPARE(actions.mnuShow->text(), QStringLiteral("Show"));
        actions.mnuShow->trigger();
        QVERIFY(window->isVisible());

        // Copy IP: only with an address, which it copies exactly.
        QVERIFY(!actions.mnuCopyIP->isEnabled());
        life.State().SetCurrentIP(QStringLiteral("192.0.2.1, 198.51.100.2"));
        QVERIFY(actions.mnuCopyIP->isEnabled());
        actions.mnuCopyIP->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("192.0.2.1, 198.51.100.2"));
        life.State().SetCurrentIP(QString());
        QVERIFY(!actions.mnuCopyIP->isEnabled());
        life.Exit();
    }

    void exitWaitsForTheAboutWindow()
    {
        Lifecycle life(nullptr, Files());
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

    void endNowClosesTheAboutWindowToo()
    {
        Lifecycle life(nullptr, Files());
        life.Load();
        life.Actions().mnuAbout->trigger();
        QPointer<FrmAbout> about = life.AboutWindow();
        QSignalSpy finished(&life, &Lifecycle::Finished);
        life.EndNow();
        QVERIFY(!life.Tray()->IsShown());
        QTRY_VERIFY(about.isNull());
        QCOMPARE(finished.count(), 1);
    }

    void helpOpensOnlyAVisibleRegularFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opened");
        QTest::newRow("help file") << "Quendrel.chm" << true;
        QTest::newRow("missing") << "" << false;
        QTest::newRow("hidden") << ".Quendrel.chm" << false;
    }

    void helpOpensOnlyAVisibleRegularFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, opened);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("Quendrel.chm"));
        if (!name.isEmpty()) {
            path = dir.filePath(name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QList<QUrl> urls;
        ShowHelp([&](const QUrl& url) { urls.append(url); }, path);
        QCOMPARE(urls.size(), opened ? 1 : 0);
        if (opened)
            QCOMPARE(urls[0], QUrl::fromLocalFile(path));
    }
};


QTEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
