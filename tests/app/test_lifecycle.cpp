#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/lifecycle.h"
#include "app/system_events.h"
#include "common/file_io.h"
#include "common/program_paths.h"
#include "schedule/catch_up_update.h"
#include "schedule/scheduler.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "ui/app_actions.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/tray_icon.h"
#include "update/curl_handle.h"
#include "update/local_ip.h"
#include "update/page_file.h"

using namespace quendrel;
using namespace Qt::StringLiterals;
using Changes = QList<std::pair<Setting, QVariant>>;

// The program's life from the load to the end, and whole update cycles as
// its commands start them, against a real HTTP server and a real FTP server
// on 127.0.0.1. The steps' own texts and failures are the update tests'
// concern; here it is what the program shows and keeps when a cycle ends.
class TestLifecycle : public QObject {
    Q_OBJECT

    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    std::unique_ptr<Lifecycle> life_;
    SystemEvents* events_ = nullptr;  // the network's and the computer's, raised here; the lifecycle's own
    QStringList texts_;  // the status texts set since init, in order

    QString RemotePage() const { return servers_.FtpRoot() + u"/site/ip.html"_s; }
    QString LocalPage() const { return dir_.filePath(kPageFileName); }

private slots:
    void initTestCase()
    {
        QVERIFY(servers_.Start() && dir_.isValid());
        // The autostart entry, if any, goes here and not into the user's own.
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }

    // The program loaded from a settings file naming the server and the address's markers; then the other fields
    // for a passive upload of the default page with the address from the /ip page into "site" (the flags the file
    // lacks read as off: a passive upload, through the IP web page), and an earlier page in temp.htm.
    void init()
    {
        QCOMPARE(WriteWholeFile(SettingsFilePath(dir_.path()),
                                "[Settings]\nServer=127.0.0.1\nStartString=<ip>\nEndString=</ip>\n"), 0);
        events_ = new SystemEvents;
        life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()), events_);
        life_->Load();
        connect(&life_->State(), &ProgramState::StatusTextSet, this, [this](const QString& text) { texts_ << text; });
        texts_.clear();
        for (const auto& [setting, value] : Changes{{Setting::Port, QString::number(servers_.FtpPort())},
                 {Setting::Username, "writer"}, {Setting::Password, "secret"}, {Setting::RemotePath, "site"},
                 {Setting::WebpageType, true}, {Setting::IPWebPage, servers_.HttpUrl("/ip")}})
            life_->Settings().Set(setting, value);
        QFile::remove(RemotePage());
        QCOMPARE(WriteWholeFile(LocalPage(), "earlier"), 0);
    }

    // A user's path from the load through the menus to the end of the session. (The settings loaded and the
    // timer started: the cycles below and the journeys' update at start.)
    void fromLoadToEndNow()
    {
        QVERIFY(life_->Tray()->IsShown());
        // The offscreen platform has no notification area: the window shows, without a close button.
        FrmMain* window = life_->MainWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(!(window->windowFlags() & Qt::WindowCloseButtonHint));

        // One action per command, shared by the window's menus and the tray menu.
        AppActions& actions = life_->Actions();
        const QList<QAction*> file = window->findChild<QMenu*>(u"mnuMain_File"_s)->actions();
        QCOMPARE(file, (QList<QAction*>{actions.mnuUpdate, actions.mnuCopyIP, file.value(2), actions.mnuExit}));
        QCOMPARE(window->findChild<QMenu*>(u"mnuMain_Help"_s)->actions(), (QList{actions.mnuHelp, actions.mnuAbout}));
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

        // No address after the load, so no Copy IP; it comes with an address (a disabled action does nothing) and
        // copies it exactly.
        QVERIFY(!actions.mnuCopyIP->isEnabled());
        life_->State().SetCurrentIP(u"192.0.2.1, 198.51.100.2"_s);
        actions.mnuCopyIP->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"192.0.2.1, 198.51.100.2"_s);
        life_->State().SetCurrentIP(QString());
        QVERIFY(!actions.mnuCopyIP->isEnabled());

        // A signal or the session's end: everything goes at once, an open About window too.
        actions.mnuAbout->trigger();
        QSignalSpy finished(life_.get(), &Lifecycle::Finished);
        life_->EndNow();
        QVERIFY(!life_->Tray()->IsShown());
        QTRY_VERIFY(!life_->AboutWindow());
        QCOMPARE(finished.count(), 1);
    }

    // Rows: the files of an installed tree (a "/" at the end makes a folder), the program's name in its bin
    // folder, and the file Help opens there (none when empty): the program's .chm, else the help the build writes
    // beside the program, else the installed one; a folder or a hidden file in a file's place does not count.
    void showHelp_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("opened");
        const QString bin = QStringLiteral(QUENDREL_TEST_BINDIR), chm = bin + u"/Quendrel.chm"_s;
        const QString built = bin + u"/help/index.html"_s;
        const QString installed = QStringLiteral(QUENDREL_TEST_DATADIR) + u"/quendrel/help/index.html"_s;
        QTest::newRow("the .chm first") << QStringList{chm, built, installed} << "Quendrel" << chm;
        QTest::newRow("the build's help") << QStringList{built, installed} << "Quendrel" << built;
        QTest::newRow("another name's .chm") << QStringList{chm, bin + u"/ip.chm"_s} << "ip" << bin + u"/ip.chm"_s;
        QTest::newRow("folders") << QStringList{chm + u'/', built + u'/', installed} << "Quendrel" << installed;
        QTest::newRow("a hidden .chm") << QStringList{bin + u"/.Quendrel.chm"_s, built} << ".Quendrel" << built;
        QTest::newRow("only folders") << QStringList{chm + u'/', built + u'/', installed + u'/'} << "Quendrel" << "";
    }

    void showHelp()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, program);
        QFETCH(QString, opened);
        const QTemporaryDir root;
        for (const QString& file : files) {
            QVERIFY(QDir().mkpath(QFileInfo(root.path() + file).path()));
            if (!file.endsWith(u'/'))
                QCOMPARE(WriteWholeFile(root.path() + file, {}), 0);
        }
        QList<QUrl> urls;
        ShowHelp([&urls](const QUrl& url) { urls << url; },
                 HelpFileIn(root.path() + QStringLiteral(QUENDREL_TEST_BINDIR), program));
        QCOMPARE(urls, opened.isEmpty() ? QList<QUrl>() : QList{QUrl::fromLocalFile(root.path() + opened)});
    }

    // Rows: the settings changed from init's; the failure reported, none when the cycle works. Only the upload's
    // failure comes after temp.htm was written.
    void cycle_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("failure");
        QTest::newRow("passive, address from the IP web page") << Changes{} << QString();
        // The markers are not needed when directly connected.
        QTest::newRow("the host's address") << Changes{{Setting::ConnectType, true}, {Setting::StartString, ""}} << "";
        // Refused before it starts: no progress shown, and the port box, whatever else, gets its default back.
        QTest::newRow("blank") << Changes{{Setting::Server, " "}, {Setting::Port, "x"}} << "Required Fields Missing..";
        QTest::newRow("no markers") << Changes{{Setting::StartString, "<addr>"}} << "Unable to Parse IP Address Data";
        QTest::newRow("no template") << Changes{{Setting::WebpageType, false}, {Setting::SourceFilepath, "/none"}}
                                     << "Can't find Source File";
        QTest::newRow("a wrong password") << Changes{{Setting::Password, "wrong"}} << "Unable to Connect to 127.0.0.1";
    }

    void cycle()
    {
        QFETCH(Changes, changes);
        QFETCH(QString, failure);
        for (const auto& [setting, value] : changes)
            life_->Settings().Set(setting, value);
        life_->State().SetCurrentIP(u"stale"_s);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        life_->Actions().mnuUpdate->trigger();
        QVERIFY(!ended.isEmpty() || ended.wait(30000));  // a refused cycle ends at once
        // The report in the status bar, and in the tray tip as far as it goes.
        const QString report = life_->State().StatusText();
        QCOMPARE(life_->Tray()->Tip(), report.left(63));
        QCOMPARE(life_->State().Image(), failure.isEmpty() ? StateImage::Ready : StateImage::Failed);
        QVERIFY(!life_->State().Updating());
        // Only a cycle that passed its checks shows progress; a refused one puts the port's default back.
        const bool refused = failure == "Required Fields Missing..";
        QCOMPARE(texts_.size() == 1, refused);
        QCOMPARE(life_->Settings().Text(Setting::Port), refused ? u"21"_s : QString::number(servers_.FtpPort()));
        // A cycle that fails before the page is written leaves the earlier one.
        QCOMPARE(test::ReadFile(LocalPage()) != "earlier", failure.isEmpty() || failure.contains("Connect"));
        // The address kept: none after a failure, not even one found on the way.
        const bool direct = life_->Settings().IsOn(Setting::ConnectType);
        const QString address = direct ? GetLocalIP() : u"203.0.113.7"_s;
        QCOMPARE(life_->State().CurrentIP(), failure.isEmpty() ? address : QString());
        // The report: the failure, or the address with the cycle's date and time, the same ones the page shows.
        const QString when = QRegularExpression(u" - (.+)\\)$"_s).match(report).captured(1);
        QCOMPARE(report, "Quendrel (" + (failure.isEmpty() ? address + " - " + when : failure) + ")");
        QCOMPARE(QFile::exists(RemotePage()), failure.isEmpty());
        if (!failure.isEmpty())
            return;

        // Each text in turn, the report last: the command-line tests read them from the same driver. The host's
        // address comes without the five of the IP web page.
        QCOMPARE(texts_.size(), direct ? 6 : 11);
        const QByteArray page = "<html><body><center><b>" + address.toUtf8() + "</b><br>" + when.toUtf8()
                                + "</center></body></html>\r\n";
        QCOMPARE(test::ReadFile(RemotePage()), page);  // (temp.htm the same: the command-line tests)
        // The same address again is uploaded again.
        QVERIFY(QFile::remove(RemotePage()));
        life_->Actions().mnuUpdate->trigger();
        QVERIFY(ended.wait(30000));
        QCOMPARE(test::ReadFile(RemotePage()).left(30), page.left(30));
    }

    // The network comes back and the computer wakes: once settled, one whole update.
    void networkEventsBringAnUpdate()
    {
        life_->CatchUp().SetTiming({.settle = std::chrono::milliseconds(50)});
        QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        emit events_->NetworkRestored();
        emit events_->Woke();
        QVERIFY(ended.wait(30000));
        QCOMPARE(started.count(), 1);
        QVERIFY(QFile::exists(RemotePage()));
    }

    // A cycle or a test of the settings (the Test buttons) stalled on the IP web page, with About open. Meanwhile
    // the program shows a cycle as busy (the tray shows no test), keeps the buttons and, during a test, the Update
    // command disabled, ignores another request and the ticks, and saves nothing. Exit calls it off at once (else
    // the stalled page would hold the exit for 60 s), with no report; the main window and the icon go at once, and
    // the program ends when About closes. (Exit with nothing else open ends at once: the end-to-end journeys check
    // that. What a test reports: the update tests' settingsTests.)
    void exitDuringAStalledRunWaitsForTheAboutWindow_data()
    {
        QTest::addColumn<bool>("test");
        QTest::newRow("update") << false;
        QTest::newRow("settings test") << true;
    }

    void exitDuringAStalledRunWaitsForTheAboutWindow()
    {
        QFETCH(bool, test);
        const QByteArray stored = test::ReadFile(SettingsFilePath(dir_.path()));
        FrmMain& window = *life_->MainWindow();
        const auto button = [&window](const char* name) { return window.findChild<QPushButton*>(QLatin1String(name)); };
        life_->Settings().Set(Setting::IPWebPage, servers_.HttpUrl(u"/hang"_s));
        QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        QSignalSpy finished(life_.get(), &Lifecycle::Finished);
        test ? button("cmdTestPage")->click() : life_->Actions().mnuUpdate->trigger();
        QTRY_VERIFY(life_->State().StatusText().startsWith(u"Connecting to http"_s));
        QCOMPARE(life_->State().Updating(), !test);
        QCOMPARE(life_->State().Image(), test ? StateImage::Ready : StateImage::Busy);
        QCOMPARE(life_->Tray()->Tip(), test ? u"Quendrel"_s : u"Quendrel - Updating.."_s);
        for (const char* name : {"cmdUpdate", "cmdTestFtp", "cmdTestPage"})
            QVERIFY2(!button(name)->isEnabled(), name);
        QCOMPARE(life_->Actions().mnuUpdate->isEnabled(), !test);  // (a disabled action does nothing)
        const qint32 ticks = life_->State().TickCounter;
        life_->Actions().mnuUpdate->trigger();
        life_->Schedule().Tick();
        QCOMPARE(started.count(), test ? 0 : 1);
        QCOMPARE(life_->State().TickCounter, ticks);
        QCOMPARE(test::ReadFile(SettingsFilePath(dir_.path())), stored);

        life_->Actions().mnuAbout->trigger();
        QPointer<FrmAbout> about = life_->AboutWindow();
        about->showMinimized();
        life_->Actions().mnuAbout->trigger();
        QCOMPARE(life_->AboutWindow(), about.data());  // one About window at most...
        QVERIFY(!about->isMinimized());                // ...brought back when asked for again
        const QDeadlineTimer deadline(5000);
        life_->Actions().mnuExit->trigger();
        QVERIFY(!deadline.hasExpired());
        QVERIFY(!life_->IsUpdating() && !life_->IsTesting());
        QVERIFY(!life_->MainWindow()->isVisible());  // (the icon goes in the same step: see fromLoadToEndNow)
        QTRY_VERIFY(!life_->MainWindow());
        QCOMPARE(finished.count(), 0);
        QVERIFY(about->isVisible());
        life_->ShowMainWindow();  // nothing comes back after the unload
        QVERIFY(!life_->MainWindow());
        about->close();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(ended.isEmpty());
    }

    // A run of updates as the tray announces it: the first address is no change; a new one is; a run of failures is
    // told once, with its first text, and the recovery after it; an address visitors cannot reach is warned about
    // once. With "Notify me" off nothing is shown, but the program still follows the outcomes.
    void notifications()
    {
        QSignalSpy shown(life_->Tray(), &TrayIcon::MessageShown);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        const auto page = [this](const char* address) { return servers_.HttpUrl(u"/echo?body=<ip>%1</ip>"_s.arg(address)); };
        const QString change = u"Your IP address is now %1 (it was %2)."_s;
        const QString back = u"Updates work again: 192.168.1.5 is published.\n"_s + change.arg("192.168.1.5", "198.51.100.9")
                             + u"\n192.168.1.5 is a private address: visitors from the Internet cannot reach it."_s;
        const QList<std::tuple<Changes, QString>> steps{
            {{}, {}},
            {{{Setting::IPWebPage, page("198.51.100.9")}}, change.arg("198.51.100.9", "203.0.113.7")},
            {{{Setting::Password, "wrong"}}, u"Updates are failing: Unable to Connect to 127.0.0.1"_s},
            {{{Setting::Server, ""}}, {}},
            {{{Setting::Server, "127.0.0.1"}, {Setting::Password, "secret"}, {Setting::IPWebPage, page("192.168.1.5")}},
             back},
            {{}, {}},
            {{{Setting::Notify, false}, {Setting::IPWebPage, page("203.0.113.7")}}, {}},
            {{{Setting::Notify, true}}, {}},
        };
        for (const auto& [changes, notice] : steps) {
            for (const auto& [setting, value] : changes)
                life_->Settings().Set(setting, value);
            ended.clear();
            life_->Actions().mnuUpdate->trigger();
            QVERIFY(!ended.isEmpty() || ended.wait(30000));
            QCOMPARE(shown.isEmpty() ? QString() : shown.takeFirst().at(0).toString(), notice);
            QVERIFY(shown.isEmpty());
        }
    }
};

QTEST_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
