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
using quendrel::test::ReadFile;

namespace {
const QString kAddress = QStringLiteral("203.0.113.7");
}

// Whole update cycles, as the program's commands start them, against a
// real HTTP server and a real FTP server on 127.0.0.1.
class TestUpdateDriver : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wholeCycle_data();
    void wholeCycle();
    void failures_data();
    void failures();
    void portGetsItsDefaultBackEvenWhenTheCycleStops();
    void triggersAndTicksDuringACycleAreIgnored();
    void exitDuringACycleCancelsIt();

private:
    SettingsModel& Settings() { return life_->Settings(); }
    ProgramState& State() { return life_->State(); }
    // Asks for an update and waits for the cycle's end; the status texts
    // it set, in order.
    QStringList RunCycle();
    QString RemotePage() const { return servers_.FtpRoot() + QStringLiteral("/site/ip.html"); }

    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    std::unique_ptr<Lifecycle> life_;
};

void TestUpdateDriver::initTestCase()
{
    QVERIFY(servers_.Start());
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
}

// Every field for a passive upload of the default page with the address
// from the /ip page into "site".
void TestUpdateDriver::init()
{
    life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()));
    life_->Load();
    const QList<std::pair<Setting, QVariant>> working{
        {Setting::WebpageType, true},       {Setting::Server, "127.0.0.1"},
        {Setting::Port, QString::number(servers_.FtpPort())},
        {Setting::Username, "writer"},      {Setting::Password, "secret"},
        {Setting::RemotePath, "site"},      {Setting::PasActFlag, false},
        {Setting::ConnectType, false},      {Setting::IPWebPage, servers_.HttpUrl(QStringLiteral("/ip"))},
        {Setting::StartString, "<ip>"},     {Setting::EndString, "</ip>"}};
    for (const auto& [setting, value] : working)
        Settings().Set(setting, value);
    QFile::remove(RemotePage());
    QFile::remove(dir_.filePath(kPageFileName));
}

void TestUpdateDriver::cleanup()
{
    life_->Exit();
    life_.reset();
}

QStringList TestUpdateDriver::RunCycle()
{
    QStringList texts;
    const auto recording = connect(&State(), &ProgramState::StatusTextSet, this, [&texts](const QString& t) { texts << t; });
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    life_->Actions().mnuUpdate->trigger();
    if (ended.isEmpty() && !ended.wait(30000))
        texts << QStringLiteral("<no end>");
    disconnect(recording);
    return texts;
}

void TestUpdateDriver::wholeCycle_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("direct");
    QTest::newRow("passive, address from the IP web page") << false << false;
    QTest::newRow("active, address from the IP web page") << true << false;
    QTest::newRow("passive, address from the host's name") << false << true;
}

void TestUpdateDriver::wholeCycle()
{
    QFETCH(bool, active);
    QFETCH(bool, direct);
    Settings().Set(Setting::PasActFlag, active);
    Settings().Set(Setting::ConnectType, direct);
    if (direct)  // not needed when directly connected
        Settings().Set(Setting::StartString, QString());
    State().SetCurrentIP(QStringLiteral("stale"));
    QStringList texts;
    connect(&State(), &ProgramState::StatusTextSet, this, [&texts](const QString& t) { texts << t; });
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    life_->Actions().mnuUpdate->trigger();
    // Busy until the cycle ends; the window goes on handling events.
    QVERIFY(State().Updating());
    QCOMPARE(State().Image(), StateImage::Busy);
    QCOMPARE(life_->Tray()->Tip(), QStringLiteral("Quendrel - Updating.."));
    QVERIFY(ended.wait(30000));

    const QString address = direct ? GetLocalIP() : kAddress;
    QStringList expected;
    if (!direct)
        expected << "Establishing Internet Connection.." << "Connecting to " + servers_.HttpUrl("/ip") + ".."
                 << "Getting IP Address Data.." << "Closing Internet Connection.." << "Parsing IP Address Data..";
    expected << "Creating HTML Page.." << "Establishing Internet Connection.." << "Connecting to 127.0.0.1.."
             << "Uploading HTML Page.." << "Closing Internet Connection..";
    QCOMPARE(texts.mid(0, texts.size() - 1), expected);

    // The report ends with the address and the cycle's date and time, the
    // same ones the page shows.
    const QString report = texts.last();
    QVERIFY2(report.startsWith("Quendrel (" + address + " - "), qPrintable(report));
    const QString when = report.mid(11 + address.size() + 2).chopped(1);
    const QByteArray page = "<html><body><center><b>" + address.toUtf8() + "</b><br>" + when.toUtf8()
                            + "</center></body></html>\r\n";
    QCOMPARE(ReadFile(RemotePage()), page);
    QCOMPARE(ReadFile(dir_.filePath(kPageFileName)), page);
    QCOMPARE(State().StatusText(), report);
    QCOMPARE(life_->Tray()->Tip(), report.left(63));
    QCOMPARE(State().CurrentIP(), address);
    QCOMPARE(State().Image(), StateImage::Ready);
    QVERIFY(!State().Updating());
    // The same address again is uploaded again.
    QVERIFY(QFile::remove(RemotePage()));
    RunCycle();
    QCOMPARE(State().CurrentIP(), address);
    QCOMPARE(ReadFile(RemotePage()).left(30), page.left(30));
}

void TestUpdateDriver::failures_data()
{
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("wasBusy");
    QTest::addColumn<bool>("pageReplaced");
    QTest::newRow("a required field holding only spaces") << Setting::Server << "   " << "Required Fields Missing.."
                                                          << false << false;
    QTest::newRow("a port no port can have") << Setting::Port << "70000" << "Overflow - 6" << false << false;
    QTest::newRow("no markers on the page") << Setting::StartString << "<address>"
                                            << "Unable to Parse IP Address Data" << true << false;
    QTest::newRow("the end marker before the start marker")
        << Setting::EndString << "<html>" << "Invalid procedure call or argument - 5" << true << false;
    QTest::newRow("a missing template") << Setting::SourceFilepath << "/nonexistent/template.htm"
                                        << "Can't find Source File" << true << false;
    // The address was found, so only the upload's failure clears it.
    QTest::newRow("a user who may not write") << Setting::Username << "reader" << "Unable to Upload HTML Page.."
                                              << true << true;
    QTest::newRow("a wrong password") << Setting::Password << "wrong" << "Unable to Connect to 127.0.0.1" << true
                                      << true;
    QTest::newRow("a missing remote directory") << Setting::RemotePath << "site/none"
                                                << "Unable to Set Remote Directory.." << true << true;
}

void TestUpdateDriver::failures()
{
    QFETCH(Setting, setting);
    QFETCH(QString, value);
    QFETCH(QString, message);
    QFETCH(bool, wasBusy);
    QFETCH(bool, pageReplaced);
    if (setting == Setting::SourceFilepath)
        Settings().Set(Setting::WebpageType, false);
    Settings().Set(setting, value);
    State().SetCurrentIP(QStringLiteral("stale"));
    const QByteArray previousPage("the page of an earlier cycle");
    QFile earlier(dir_.filePath(kPageFileName));
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(previousPage) > 0);
    earlier.close();

    const QStringList texts = RunCycle();
    const QString report = "Quendrel (" + message + ")";
    QCOMPARE(texts.size() > 1, wasBusy);  // only a cycle that passed its checks showed progress
    QCOMPARE(texts.last(), report);
    QCOMPARE(life_->Tray()->Tip(), report.left(63));
    QCOMPARE(State().CurrentIP(), QString());
    QCOMPARE(State().Image(), StateImage::Failed);
    QVERIFY(!State().Updating());
    QVERIFY(!QFile::exists(RemotePage()));
    // A cycle that fails before the page is written leaves the earlier one.
    QCOMPARE(ReadFile(dir_.filePath(kPageFileName)) != previousPage, pageReplaced);
}

void TestUpdateDriver::portGetsItsDefaultBackEvenWhenTheCycleStops()
{
    Settings().Set(Setting::Port, QStringLiteral("abc"));
    Settings().Set(Setting::Username, QString());
    RunCycle();
    QCOMPARE(Settings().Text(Setting::Port), QStringLiteral("21"));
    QCOMPARE(State().StatusText(), QStringLiteral("Quendrel (Required Fields Missing..)"));
}

void TestUpdateDriver::triggersAndTicksDuringACycleAreIgnored()
{
    const QString url = servers_.HttpUrl(QStringLiteral("/hang"));
    Settings().Set(Setting::IPWebPage, url);
    QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    life_->Actions().mnuUpdate->trigger();
    QTRY_COMPARE(State().StatusText(), "Connecting to " + url + "..");
    QVERIFY(life_->IsUpdating());

    const qint32 ticks = State().TickCounter;
    life_->Actions().mnuUpdate->trigger();
    for (int i = 0; i < 5; ++i)
        life_->Schedule().Tick();
    QCOMPARE(started.count(), 1);
    QCOMPARE(State().TickCounter, ticks);
    QVERIFY(ended.isEmpty());
}

void TestUpdateDriver::exitDuringACycleCancelsIt()
{
    Settings().Set(Setting::IPWebPage, servers_.HttpUrl(QStringLiteral("/stall-after-start")));
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    QSignalSpy finished(life_.get(), &Lifecycle::Finished);
    life_->Actions().mnuUpdate->trigger();
    QTRY_COMPARE(State().StatusText(), QStringLiteral("Getting IP Address Data.."));

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

QTEST_MAIN(TestUpdateDriver)
#include "test_update_driver.moc"
