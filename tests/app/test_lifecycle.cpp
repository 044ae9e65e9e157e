#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/lifecycle.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/settings_binding.h"
#include "ui/tray_icon.h"

using namespace quendrel;

class TestLifecycle : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ProgramFiles Files() const { return ProgramFiles::In(dir_.path()); }

private slots:
    void initTestCase();
    void loadSetsTheStartingState();
    void ticksStartTheScheduledUpdates();
    void exitWaitsForTheAboutWindow();
    void endNowClosesTheAboutWindowToo();
    void helpOpensOnlyAVisibleRegularFile_data();
    void helpOpensOnlyAVisibleRegularFile();
};

void TestLifecycle::initTestCase()
{
    // The autostart entry, if any, goes here and not into the user's own.
    qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
}

void TestLifecycle::ticksStartTheScheduledUpdates()
{
    QFile settings(Files().settingsFile);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Settings]\nCheckOnStart=1\nInterval=5\n");
    settings.close();
    Lifecycle life(nullptr, Files());
    life.Load();
    QSignalSpy updates(&life, &Lifecycle::UpdateStarted);
    life.OnTimer1Tick();
    QCOMPARE(updates.count(), 1);  // the start-up update, at the first tick
    QCOMPARE(life.State().StartPending, false);
    for (int tick = 0; tick < 200; ++tick)
        life.OnTimer1Tick();
    life.MainWindow()->cmdUpdate->click();  // a manual update leaves the count alone
    QCOMPARE(updates.count(), 2);
    QCOMPARE(life.State().TickCounter, 200);
    for (int tick = 0; tick < 101; ++tick)
        life.OnTimer1Tick();
    QCOMPARE(updates.count(), 3);
    QCOMPARE(life.State().TickCounter, 0);
    life.Exit();
}

void TestLifecycle::loadSetsTheStartingState()
{
    Lifecycle life(nullptr, Files());
    life.Load();
    FrmMain* window = life.MainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Quendrel 4.6"));
    QCOMPARE(window->StatusText(), QStringLiteral("Quendrel"));
    QCOMPARE(life.State().StartPending, true);
    QCOMPARE(life.State().TickCounter, 0);
    QVERIFY(life.State().CurrentIP.isEmpty());
    QVERIFY(window->Timer1->isActive());
    QCOMPARE(life.Tray()->Tip(), QStringLiteral("Quendrel"));
    QVERIFY(life.Tray()->IsShown());
    QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));
    // The offscreen platform has no notification area: the window shows.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(window->isVisible());
}

void TestLifecycle::exitWaitsForTheAboutWindow()
{
    Lifecycle life(nullptr, Files());
    life.Load();
    FrmMain* window = life.MainWindow();
    window->mnuAbout->trigger();
    QPointer<FrmAbout> about = life.AboutWindow();
    about->showMinimized();
    window->mnuMain_Help_About->trigger();
    QCOMPARE(life.AboutWindow(), about.data());  // one About window at most...
    QVERIFY(!about->isMinimized());              // ...brought back when asked for again
    QVERIFY(about && about->isVisible());
    QSignalSpy finished(&life, &Lifecycle::Finished);
    window->mnuMain_File_Exit->trigger();
    // The main window and the icon go at once; the program waits for About.
    QVERIFY(!life.Tray()->IsShown());
    QVERIFY(!window->isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(about->isVisible());
    about->close();
    QTRY_COMPARE(finished.count(), 1);
}

void TestLifecycle::endNowClosesTheAboutWindowToo()
{
    Lifecycle life(nullptr, Files());
    life.Load();
    life.MainWindow()->mnuMain_Help_About->trigger();
    QPointer<FrmAbout> about = life.AboutWindow();
    QSignalSpy finished(&life, &Lifecycle::Finished);
    life.EndNow();
    QVERIFY(!life.Tray()->IsShown());
    QTRY_VERIFY(about.isNull());
    QCOMPARE(finished.count(), 1);
}

void TestLifecycle::helpOpensOnlyAVisibleRegularFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opened");
    QTest::newRow("help file") << "Quendrel.chm" << true;
    QTest::newRow("missing") << "" << false;
    QTest::newRow("hidden") << ".Quendrel.chm" << false;

}

void TestLifecycle::helpOpensOnlyAVisibleRegularFile()
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

QTEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
