#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/lifecycle.h"
#include "common/file_io.h"
#include "schedule/scheduler.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "ui/app_actions.h"
#include "ui/tray_icon.h"
#include "update/curl_handle.h"
#include "update/local_ip.h"
#include "update/page_file.h"

using namespace quendrel;
using namespace Qt::StringLiterals;
using quendrel::test::ReadFile;
using Changes = QList<std::pair<Setting, QVariant>>;

// Whole update cycles, as the program's commands start them, against a
// real HTTP server and a real FTP server on 127.0.0.1. The steps' own
// texts and failures are the update tests' concern; here it is what the
// program shows and keeps when a cycle ends.
class TestUpdateDriver : public QObject {
    Q_OBJECT

    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    std::unique_ptr<Lifecycle> life_;
    QStringList texts_;  // the status texts set since init, in order

    SettingsModel& Settings() { return life_->Settings(); }
    ProgramState& State() { return life_->State(); }
    QString RemotePage() const { return servers_.FtpRoot() + u"/site/ip.html"_s; }
    QString LocalPage() const { return dir_.filePath(kPageFileName); }

    void Set(const Changes& changes)
    {
        for (const auto& [setting, value] : changes)
            Settings().Set(setting, value);
    }

    // Asks for an update as the menu does and waits for the cycle's end (a refused one ends at once).
    bool RunCycle()
    {
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        life_->Actions().mnuUpdate->trigger();
        return !ended.isEmpty() || ended.wait(30000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(servers_.Start() && dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }

    // Every field for a passive upload of the default page with the address from the /ip page into "site",
    // and an earlier page in temp.htm.
    void init()
    {
        life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()));
        life_->Load();
        connect(&State(), &ProgramState::StatusTextSet, this, [this](const QString& text) { texts_ << text; });
        texts_.clear();
        Set({{Setting::WebpageType, true}, {Setting::Server, "127.0.0.1"}, {Setting::Port, QString::number(servers_.FtpPort())},
             {Setting::Username, "writer"}, {Setting::Password, "secret"}, {Setting::RemotePath, "site"},
             {Setting::PasActFlag, false}, {Setting::ConnectType, false}, {Setting::IPWebPage, servers_.HttpUrl("/ip")},
             {Setting::StartString, "<ip>"}, {Setting::EndString, "</ip>"}});
        QFile::remove(RemotePage());
        QCOMPARE(WriteWholeFile(LocalPage(), "earlier"), 0);
        State().SetCurrentIP(u"stale"_s);
    }

    void cleanup()
    {
        life_->Exit();
        life_.reset();
    }

    // Rows: the settings changed from init's; the failure reported, none when the cycle works; whether the
    // cycle got as far as writing temp.htm.
    void cycle_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("pageWritten");
        QTest::newRow("passive, address from the IP web page") << Changes{} << QString() << true;
        QTest::newRow("active, address from the IP web page") << Changes{{Setting::PasActFlag, true}} << QString() << true;
        // The markers are not needed when directly connected.
        QTest::newRow("passive, address from the host's name")
            << Changes{{Setting::ConnectType, true}, {Setting::StartString, QString()}} << QString() << true;
        // Refused before it starts: no progress shown, and the port box, whatever else, gets its default back.
        QTest::newRow("a required field holding only spaces")
            << Changes{{Setting::Server, "   "}, {Setting::Port, "abc"}} << "Required Fields Missing.." << false;
        QTest::newRow("no markers on the page")
            << Changes{{Setting::StartString, "<address>"}} << "Unable to Parse IP Address Data" << false;
        QTest::newRow("a missing template") << Changes{{Setting::WebpageType, false},
                                                       {Setting::SourceFilepath, "/nonexistent/template.htm"}}
                                            << "Can't find Source File" << false;
        // The address was found, so only the upload's failure clears it.
        QTest::newRow("a wrong password") << Changes{{Setting::Password, "wrong"}} << "Unable to Connect to 127.0.0.1" << true;
    }

    void cycle()
    {
        QFETCH(Changes, changes);
        QFETCH(QString, failure);
        QFETCH(bool, pageWritten);
        Set(changes);
        QVERIFY(RunCycle());
        // The report in the status bar, and in the tray tip as far as it goes.
        const QString report = State().StatusText();
        QCOMPARE(texts_.last(), report);
        QCOMPARE(life_->Tray()->Tip(), report.left(63));
        QCOMPARE(State().Image(), failure.isEmpty() ? StateImage::Ready : StateImage::Failed);
        QVERIFY(!State().Updating());
        // A cycle that fails before the page is written leaves the earlier one.
        QCOMPARE(ReadFile(LocalPage()) != "earlier", pageWritten);
        if (!failure.isEmpty()) {
            QCOMPARE(report, "Quendrel (" + failure + ")");
            QCOMPARE(State().CurrentIP(), QString());
            QVERIFY(!QFile::exists(RemotePage()));
            const bool refused = failure == "Required Fields Missing..";
            QCOMPARE(texts_.size() == 1, refused);
            if (refused)
                QCOMPARE(Settings().Text(Setting::Port), u"21"_s);
            return;
        }

        const bool direct = Settings().IsOn(Setting::ConnectType);
        const QString address = direct ? GetLocalIP() : u"203.0.113.7"_s;
        QStringList expected;
        if (!direct)
            expected << "Establishing Internet Connection.." << "Connecting to " + servers_.HttpUrl("/ip") + ".."
                     << "Getting IP Address Data.." << "Closing Internet Connection.." << "Parsing IP Address Data..";
        expected << "Creating HTML Page.." << "Establishing Internet Connection.." << "Connecting to 127.0.0.1.."
                 << "Uploading HTML Page.." << "Closing Internet Connection.." << report;
        QCOMPARE(texts_, expected);
        // The report ends with the address and the cycle's date and time, the same ones the page shows.
        QVERIFY2(report.startsWith("Quendrel (" + address + " - "), qPrintable(report));
        const QString when = report.mid(11 + address.size() + 2).chopped(1);
        const QByteArray page = "<html><body><center><b>" + address.toUtf8() + "</b><br>" + when.toUtf8()
                                + "</center></body></html>\r\n";
        QCOMPARE(ReadFile(RemotePage()), page);
        QCOMPARE(ReadFile(LocalPage()), page);
        QCOMPARE(State().CurrentIP(), address);
        // The same address again is uploaded again.
        QVERIFY(QFile::remove(RemotePage()));
        QVERIFY(RunCycle());
        QCOMPARE(ReadFile(RemotePage()).left(30), page.left(30));
    }

    // A cycle stalled on the IP web page: busy while it runs, another request and the ticks ignored, and Exit
    // cancels it at once.
    void stalledCycle()
    {
        Set({{Setting::IPWebPage, servers_.HttpUrl(u"/stall-after-start"_s)}});
        QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        QSignalSpy finished(life_.get(), &Lifecycle::Finished);
        life_->Actions().mnuUpdate->trigger();
        QTRY_COMPARE(State().StatusText(), u"Getting IP Address Data.."_s);
        QVERIFY(State().Updating());
        QCOMPARE(State().Image(), StateImage::Busy);
        QCOMPARE(life_->Tray()->Tip(), u"Quendrel - Updating.."_s);
        const qint32 ticks = State().TickCounter;
        life_->Actions().mnuUpdate->trigger();
        for (int i = 0; i < 5; ++i)
            life_->Schedule().Tick();
        QCOMPARE(started.count(), 1);
        QCOMPARE(State().TickCounter, ticks);

        QElapsedTimer clock;
        clock.start();
        life_->Exit();
        // Without the cancel the stalled page would hold the exit for 60 s.
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!life_->IsUpdating());
        QCoreApplication::processEvents();
        QVERIFY(ended.isEmpty());
    }
};

QTEST_MAIN(TestUpdateDriver)
#include "test_update_driver.moc"
