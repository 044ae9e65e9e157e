#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/lifecycle.h"
#include "support/test_servers.h"
#include "ui/frm_main.h"
#include "ui/tray_icon.h"
#include "update/local_ip.h"
#include "update/page_file.h"

using namespace quendrel;

namespace {

const QString kAddress = QStringLiteral("203.0.113.7");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

// Whole update cycles, as the window's commands start them, against a real
// HTTP server and a real FTP server on 127.0.0.1.
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
    void portBoxGetsItsDefaultBackEvenWhenTheCycleStops();
    void sameAddressIsUploadedAgain();
    void triggersAndTicksDuringACycleAreIgnored();
    void exitDuringACycleCancelsIt();

private:
    FrmMain& Window() { return *life_->MainWindow(); }
    // Fills every field for a passive upload of the default page with the
    // address from the /ip page into "site".
    void FillWorkingSettings();
    // Clicks "Update Now!" and waits for the cycle's end; the status texts
    // it set, in order.
    QStringList RunCycle();
    QString RemotePage() const { return servers_.FtpRoot() + QStringLiteral("/site/ip.html"); }

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

void TestUpdateDriver::init()
{
    life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()));
    life_->Load();
    FillWorkingSettings();
    QFile::remove(RemotePage());
    QFile::remove(dir_.filePath(kPageFileName));
}

void TestUpdateDriver::cleanup()
{
    life_->Exit();
    life_.reset();
}

void TestUpdateDriver::FillWorkingSettings()
{
    FrmMain& w = Window();
    w.optWebpageType[0]->setChecked(true);
    w.txtDestFilename->setText(QStringLiteral("ip.html"));
    w.txtServer->setText(QStringLiteral("127.0.0.1"));
    w.txtPort->setText(QString::number(servers_.FtpPort()));
    w.txtUsername->setText(QStringLiteral("writer"));
    w.txtPassword->setText(QStringLiteral("secret"));
    w.txtRemotePath->setText(QStringLiteral("site"));
    w.optPasAct[1]->setChecked(true);
    w.optConType[1]->setChecked(true);
    w.cmbIPWebPage->setEditText(servers_.HttpUrl(QStringLiteral("/ip")));
    w.txtStartString->setText(QStringLiteral("<ip>"));
    w.txtEndString->setText(QStringLiteral("</ip>"));
}

QStringList TestUpdateDriver::RunCycle()
{
    QStringList texts;
    const auto recording = connect(&Window(), &FrmMain::StatusTextSet, this, [&texts](const QString& t) { texts << t; });
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    Window().cmdUpdate->click();
    if (ended.isEmpty())
        ended.wait(30000);
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
    FrmMain& w = Window();
    w.optPasAct[active ? 0 : 1]->setChecked(true);
    w.optConType[direct ? 0 : 1]->setChecked(true);
    if (direct) {  // not needed when directly connected
        w.cmbIPWebPage->setEditText(QString());
        w.txtStartString->clear();
    }
    life_->State().CurrentIP = QStringLiteral("stale");

    QStringList texts;
    connect(&w, &FrmMain::StatusTextSet, this, [&texts](const QString& t) { texts << t; });
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    w.cmdUpdate->click();
    // Busy until the cycle ends; the window goes on handling events.
    QVERIFY(!w.cmdUpdate->isEnabled());
    QCOMPARE(w.windowIcon().cacheKey(), w.ImageList1.Image(StateImage::Busy).cacheKey());
    QCOMPARE(life_->Tray()->Tip(), QStringLiteral("Quendrel - Updating.."));
    QVERIFY(ended.wait(30000));

    const QString address = direct ? GetLocalIP() : kAddress;
    const QString server = QStringLiteral("127.0.0.1");
    QStringList expected;
    if (!direct)
        expected << QStringLiteral("Establishing Internet Connection..")
                 << QStringLiteral("Connecting to ") + servers_.HttpUrl(QStringLiteral("/ip")) + QStringLiteral("..")
                 << QStringLiteral("Getting IP Address Data..") << QStringLiteral("Closing Internet Connection..")
                 << QStringLiteral("Parsing IP Address Data..");
    expected << QStringLiteral("Creating HTML Page..") << QStringLiteral("Establishing Internet Connection..")
             << QStringLiteral("Connecting to 127.0.0.1..") << QStringLiteral("Uploading HTML Page..")
             << QStringLiteral("Closing Internet Connection..");
    QCOMPARE(texts.mid(0, texts.size() - 1), expected);

    // The report ends with the address and the cycle's date and time, the
    // same ones the page shows.
    const QString report = texts.last();
    QVERIFY2(report.startsWith(QStringLiteral("Quendrel (") + address + QStringLiteral(" - ")), qPrintable(report));
    const QString when = report.mid(11 + address.size() + 2).chopped(1);
    const QByteArray page = "<html><body><center><b>" + address.toUtf8() + "</b><br>" + when.toUtf8()
                            + "</center></body></html>\r\n";
    QCOMPARE(ReadAll(RemotePage()), page);
    QCOMPARE(ReadAll(dir_.filePath(kPageFileName)), page);
    QCOMPARE(w.StatusText(), report);
    QCOMPARE(life_->Tray()->Tip(), report.left(63));
    QCOMPARE(life_->State().CurrentIP, address);
    QCOMPARE(w.windowIcon().cacheKey(), w.ImageList1.Image(StateImage::Ready).cacheKey());
    QVERIFY(w.cmdUpdate->isEnabled());
}

void TestUpdateDriver::failures_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("wasBusy");
    QTest::addColumn<bool>("pageReplaced");
    QTest::newRow("a required box holding only spaces") << "txtServer" << "   " << "Required Fields Missing.." << false << false;
    QTest::newRow("a port no port can have") << "txtPort" << "70000" << "Overflow - 6" << false << false;
    QTest::newRow("no markers on the page") << "txtStartString" << "<address>" << "Unable to Parse IP Address Data"
                                            << true << false;
    QTest::newRow("the end marker before the start marker")
        << "txtEndString" << "<html>" << "Invalid procedure call or argument - 5" << true << false;
    QTest::newRow("a missing template") << "txtSourceFilepath" << "/nonexistent/template.htm"
                                        << "Can't find Source File" << true << false;
    // The address was found, so only the upload's failure clears it.
    QTest::newRow("a user who may not write") << "txtUsername" << "reader" << "Unable to Upload HTML Page.."
                                              << true << true;
    QTest::newRow("a wrong password") << "txtPassword" << "wrong" << "Unable to Connect to 127.0.0.1" << true << true;
    QTest::newRow("a missing remote directory") << "txtRemotePath" << "site/none"
                                                << "Unable to Set Remote Directory.." << true << true;
}

void TestUpdateDriver::failures()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    QFETCH(bool, wasBusy);
    QFETCH(bool, pageReplaced);
    FrmMain& w = Window();
    if (field == QLatin1String("txtSourceFilepath"))
        w.optWebpageType[1]->setChecked(true);
    w.findChild<QLineEdit*>(field)->setText(value);
    life_->State().CurrentIP = QStringLiteral("stale");
    const QByteArray previousPage("the page of an earlier cycle");
    QFile earlier(dir_.filePath(kPageFileName));
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(previousPage) > 0);
    earlier.close();

    const QStringList texts = RunCycle();
    // Only a cycle that passed its checks showed progress.
    const bool busySeen = texts.size() > 1;

    const QString report = QStringLiteral("Quendrel (") + message + QStringLiteral(")");
    QCOMPARE(busySeen, wasBusy);
    QCOMPARE(texts.last(), report);
    QCOMPARE(w.StatusText(), report);
    QCOMPARE(life_->Tray()->Tip(), report.left(63));
    QCOMPARE(life_->State().CurrentIP, QString());
    QCOMPARE(w.windowIcon().cacheKey(), w.ImageList1.Image(StateImage::Failed).cacheKey());
    QVERIFY(w.cmdUpdate->isEnabled());
    QVERIFY(!QFile::exists(RemotePage()));
    // A cycle that fails before the page is written leaves the earlier one.
    QCOMPARE(ReadAll(dir_.filePath(kPageFileName)) != previousPage, pageReplaced);
}

void TestUpdateDriver::portBoxGetsItsDefaultBackEvenWhenTheCycleStops()
{
    FrmMain& w = Window();
    w.txtPort->setText(QStringLiteral("abc"));
    w.txtUsername->clear();
    RunCycle();
    QCOMPARE(w.txtPort->text(), QStringLiteral("21"));
    QCOMPARE(w.StatusText(), QStringLiteral("Quendrel (Required Fields Missing..)"));
}

void TestUpdateDriver::sameAddressIsUploadedAgain()
{
    RunCycle();
    QCOMPARE(life_->State().CurrentIP, kAddress);
    QVERIFY(QFile::remove(RemotePage()));
    RunCycle();
    QCOMPARE(life_->State().CurrentIP, kAddress);
    QVERIFY(QFile::exists(RemotePage()));
}

void TestUpdateDriver::triggersAndTicksDuringACycleAreIgnored()
{
    FrmMain& w = Window();
    w.cmbIPWebPage->setEditText(servers_.HttpUrl(QStringLiteral("/hang")));
    QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    w.cmdUpdate->click();
    QTRY_COMPARE(w.StatusText(), QStringLiteral("Connecting to ") + w.cmbIPWebPage->currentText() + QStringLiteral(".."));
    QVERIFY(life_->IsUpdating());

    const qint32 ticks = life_->State().TickCounter;
    w.mnuMain_File_Update->trigger();
    w.mnuUpdate->trigger();
    for (int i = 0; i < 5; ++i)
        life_->OnTimer1Tick();
    QTest::qWait(200);
    QCOMPARE(started.count(), 1);
    QCOMPARE(life_->State().TickCounter, ticks);
    QVERIFY(ended.isEmpty());
}

void TestUpdateDriver::exitDuringACycleCancelsIt()
{
    FrmMain& w = Window();
    w.cmbIPWebPage->setEditText(servers_.HttpUrl(QStringLiteral("/stall-after-start")));
    QSignalSpy ended(life_.get(), &Lifecycle::UpdateEnded);
    QSignalSpy finished(life_.get(), &Lifecycle::Finished);
    w.cmdUpdate->click();
    QTRY_COMPARE(w.StatusText(), QStringLiteral("Getting IP Address Data.."));

    QElapsedTimer clock;
    clock.start();
    life_->Exit();
    // Without the cancel the stalled page would hold the exit for 60 s.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!life_->IsUpdating());
    QTest::qWait(100);
    QVERIFY(ended.isEmpty());
}

QTEST_MAIN(TestUpdateDriver)
#include "test_update_driver.moc"
