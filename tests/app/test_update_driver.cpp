#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/lifecycle.h"
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

// Whole update cycles, as the program's commands start them, against a
// real HTTP server and a real FTP server on 127.0.0.1. The steps' own
// texts and failures are the update tests' concern; here it is what the
// program shows and keeps when a cycle ends.
class TestUpdateDriver : public QObject {
    Q_OBJECT

    SettingsModel& Settings() { return life_->Settings(); }
    ProgramState& State() { return life_->State(); }
    QString RemotePage() const { return servers_.FtpRoot() + u"/site/ip.html"_s; }
    QString LocalPage() const { return dir_.filePath(kPageFileName); }

    // Asks for an update and waits for the cycle's end; the status texts it set, in order.
    QStringList RunCycle()
    {
        QStringList texts;
        const auto recording = connect(&State(), &ProgramState::StatusTextSet, this, [&](const QString& t) { texts << t; });
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        life_->Actions().mnuUpdate->trigger();
        if (ended.isEmpty() && !ended.wait(30000))
            texts << u"<no end>"_s;
        disconnect(recording);
        return texts;
    }

    // The report in the status bar, and in the tray tip as far as it goes.
    void CheckReport(const QString& report, StateImage image)
    {
        QCOMPARE(State().StatusText(), report);
        QCOMPARE(life_->Tray()->Tip(), report.left(63));
        QCOMPARE(State().Image(), image);
        QVERIFY(!State().Updating());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(servers_.Start() && dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }

    // Every field for a passive upload of the default page with the address from the /ip page into "site".
    void init()
    {
        life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()));
        life_->Load();
        const QList<std::pair<Setting, QVariant>> working{
            {Setting::WebpageType, true},  {Setting::Server, "127.0.0.1"}, {Setting::Port, QString::number(servers_.FtpPort())},
            {Setting::Username, "writer"}, {Setting::Password, "secret"},  {Setting::RemotePath, "site"},
            {Setting::PasActFlag, false},  {Setting::ConnectType, false},  {Setting::IPWebPage, servers_.HttpUrl(u"/ip"_s)},
            {Setting::StartString, "<ip>"}, {Setting::EndString, "</ip>"}};
        for (const auto& [setting, value] : working)
            Settings().Set(setting, value);
        QFile::remove(RemotePage());
        QFile::remove(LocalPage());
        State().SetCurrentIP(u"stale"_s);
    }

    void cleanup()
    {
        life_->Exit();
        life_.reset();
    }

    void wholeCycle_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("direct");
        QTest::newRow("passive, address from the IP web page") << false << false;
        QTest::newRow("active, address from the IP web page") << true << false;
        QTest::newRow("passive, address from the host's name") << false << true;
    }

    void wholeCycle()
    {
        QFETCH(bool, active);
        QFETCH(bool, direct);
        Settings().Set(Setting::PasActFlag, active);
        Settings().Set(Setting::ConnectType, direct);
        if (direct)  // not needed when directly connected
            Settings().Set(Setting::StartString, QString());
        QStringList texts;
        connect(&State(), &ProgramState::StatusTextSet, this, [&texts](const QString& t) { texts << t; });
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        life_->Actions().mnuUpdate->trigger();
        // Busy until the cycle ends; the window goes on handling events.
        QVERIFY(State().Updating());
        QCOMPARE(State().Image(), StateImage::Busy);
        QCOMPARE(life_->Tray()->Tip(), u"Quendrel - Updating.."_s);
        QVERIFY(ended.wait(30000));

        const QString address = direct ? GetLocalIP() : u"203.0.113.7"_s;
        QStringList expected;
        if (!direct)
            expected << "Establishing Internet Connection.." << "Connecting to " + servers_.HttpUrl("/ip") + ".."
                     << "Getting IP Address Data.." << "Closing Internet Connection.." << "Parsing IP Address Data..";
        expected << "Creating HTML Page.." << "Establishing Internet Connection.." << "Connecting to 127.0.0.1.."
                 << "Uploading HTML Page.." << "Closing Internet Connection..";
        QCOMPARE(texts.mid(0, texts.size() - 1), expected);

        // The report ends with the address and the cycle's date and time, the same ones the page shows.
        const QString report = texts.last();
        QVERIFY2(report.startsWith("Quendrel (" + address + " - "), qPrintable(report));
        const QString when = report.mid(11 + address.size() + 2).chopped(1);
        const QByteArray page = "<html><body><center><b>" + address.toUtf8() + "</b><br>" + when.toUtf8()
                                + "</center></body></html>\r\n";
        QCOMPARE(ReadFile(RemotePage()), page);
        QCOMPARE(ReadFile(LocalPage()), page);
        CheckReport(report, StateImage::Ready);
        QCOMPARE(State().CurrentIP(), address);
        // The same address again is uploaded again.
        QVERIFY(QFile::remove(RemotePage()));
        RunCycle();
        QCOMPARE(ReadFile(RemotePage()).left(30), page.left(30));
    }

    // One failure at each stage of the cycle.
    void failures_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("pageReplaced");
        // Refused before it starts: no progress shown, and the port box, whatever else, gets its default back.
        QTest::newRow("a required field holding only spaces")
            << Setting::Server << "   " << "Required Fields Missing.." << false;
        QTest::newRow("no markers on the page") << Setting::StartString << "<address>" << "Unable to Parse IP Address Data"
                                                << false;
        QTest::newRow("a missing template") << Setting::SourceFilepath << "/nonexistent/template.htm"
                                            << "Can't find Source File" << false;
        // The address was found, so only the upload's failure clears it.
        QTest::newRow("a wrong password") << Setting::Password << "wrong" << "Unable to Connect to 127.0.0.1" << true;
    }

    void failures()
    {
        QFETCH(Setting, setting);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(bool, pageReplaced);
        const bool refused = setting == Setting::Server;
        Settings().Set(Setting::WebpageType, setting != Setting::SourceFilepath);
        Settings().Set(Setting::Port, refused ? u"abc"_s : QString::number(servers_.FtpPort()));
        Settings().Set(setting, value);
        QFile earlier(LocalPage());
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") > 0);
        earlier.close();

        const QStringList texts = RunCycle();
        QCOMPARE(texts.size() == 1, refused);  // only a cycle that passed its checks showed progress
        CheckReport("Quendrel (" + message + ")", StateImage::Failed);
        QCOMPARE(State().CurrentIP(), QString());
        QVERIFY(!QFile::exists(RemotePage()));
        // A cycle that fails before the page is written leaves the earlier one.
        QCOMPARE(ReadFile(LocalPage()) != "earlier", pageReplaced);
        if (refused)
            QCOMPARE(Settings().Text(Setting::Port), u"21"_s);
    }

    // A cycle stalled on the IP web page: another request and the ticks are
    // ignored while it runs, and Exit cancels it at once.
    void stalledCycle()
    {
        Settings().Set(Setting::IPWebPage, servers_.HttpUrl(u"/stall-after-start"_s));
        QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
        QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
        QSignalSpy finished(life_.get(), &Lifecycle::Finished);
        life_->Actions().mnuUpdate->trigger();
        QTRY_COMPARE(State().StatusText(), u"Getting IP Address Data.."_s);
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

private:
    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    std::unique_ptr<Lifecycle> life_;
};

QTEST_MAIN(TestUpdateDriver)
#include "test_update_driver.moc"
