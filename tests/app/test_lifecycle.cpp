#include <QApplication>
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
#include "ui/tray_icon.h"

using namespace quendrel;

class TestLifecycle : public QObject {
    Q_OBJECT

private slots:
    void loadSetsTheStartingState();
    void withoutATrayTheWindowIsShown();
    void minimisingHidesAndRestoresNormalState();
    void exitEndsAtOnceWithoutAbout_data();
    void exitEndsAtOnceWithoutAbout();
    void exitWaitsForTheAboutWindow();
    void endNowClosesTheAboutWindowToo();
    void aboutIsOneWindowAtMost();
    void helpOpensOnlyAVisibleRegularFile_data();
    void helpOpensOnlyAVisibleRegularFile();
};

void TestLifecycle::loadSetsTheStartingState()
{
    Lifecycle life(nullptr);
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
    // The close command is gone from the frame.
    QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));
}

void TestLifecycle::withoutATrayTheWindowIsShown()
{
    // The offscreen platform has no notification area.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    Lifecycle life(nullptr);
    life.Load();
    QVERIFY(life.MainWindow()->isVisible());
}

void TestLifecycle::minimisingHidesAndRestoresNormalState()
{
    Lifecycle life(nullptr);
    life.Load();
    FrmMain* window = life.MainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QSignalSpy resizes(window, &FrmMain::ResizeNotified);
    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(window->windowState() & Qt::WindowMinimized, Qt::WindowStates());
    QVERIFY(resizes.count() >= 1);
    QVERIFY(life.Tray()->IsShown());  // hiding never removes the icon
    window->ToggleFromTray();
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
}

void TestLifecycle::exitEndsAtOnceWithoutAbout_data()
{
    QTest::addColumn<bool>("windowShown");
    QTest::newRow("window hidden") << false;
    QTest::newRow("window shown") << true;
}

void TestLifecycle::exitEndsAtOnceWithoutAbout()
{
    QFETCH(bool, windowShown);
    Lifecycle life(nullptr);
    life.Load();
    QPointer<FrmMain> window = life.MainWindow();
    window->setVisible(windowShown);
    QSignalSpy finished(&life, &Lifecycle::Finished);
    window->mnuExit->trigger();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->Timer1->isActive());
    QVERIFY(!life.Tray()->IsShown());
    QTRY_VERIFY(window.isNull());
    life.Exit();  // a second Exit changes nothing
    QCOMPARE(finished.count(), 2);
}

void TestLifecycle::exitWaitsForTheAboutWindow()
{
    Lifecycle life(nullptr);
    life.Load();
    FrmMain* window = life.MainWindow();
    window->mnuAbout->trigger();
    QPointer<FrmAbout> about = life.AboutWindow();
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
    Lifecycle life(nullptr);
    life.Load();
    life.MainWindow()->mnuMain_Help_About->trigger();
    QPointer<FrmAbout> about = life.AboutWindow();
    QSignalSpy finished(&life, &Lifecycle::Finished);
    life.EndNow();
    QVERIFY(finished.count() >= 1);
    QVERIFY(!life.Tray()->IsShown());
    QTRY_VERIFY(about.isNull());
}

void TestLifecycle::aboutIsOneWindowAtMost()
{
    Lifecycle life(nullptr);
    life.Load();
    life.MainWindow()->mnuAbout->trigger();
    FrmAbout* first = life.AboutWindow();
    life.MainWindow()->mnuMain_Help_About->trigger();
    QCOMPARE(life.AboutWindow(), first);
    int aboutWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        aboutWindows += qobject_cast<FrmAbout*>(w) != nullptr;
    QCOMPARE(aboutWindows, 1);
    // Hiding the main window leaves the About window open.
    life.MainWindow()->hide();
    QVERIFY(first->isVisible());
}

void TestLifecycle::helpOpensOnlyAVisibleRegularFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opened");
    QTest::newRow("help file") << "Quendrel.chm" << true;
    QTest::newRow("missing") << "" << false;
    QTest::newRow("hidden") << ".Quendrel.chm" << false;
    QTest::newRow("directory") << "dir.chm/" << false;
}

void TestLifecycle::helpOpensOnlyAVisibleRegularFile()
{
    QFETCH(QString, name);
    QFETCH(bool, opened);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Quendrel.chm"));
    if (name.endsWith(QLatin1Char('/'))) {
        path = dir.filePath(name.chopped(1));
        QVERIFY(QDir().mkpath(path));
    } else if (!name.isEmpty()) {
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
