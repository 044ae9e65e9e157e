#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "settings/autostart_entry.h"
#include "common/program_paths.h"
#include "settings/settings_file.h"
#include "ui/frm_main.h"
#include "ui/settings_binding.h"

using namespace quendrel;

namespace {

// The window's settings in one line, in the file's key order, for comparing.
QString Snapshot(FrmMain& w)
{
    const auto on = [](const QAbstractButton* b) { return b->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); };
    return QStringList{on(w.chkStartWithWindows), on(w.chkUpdateOnStart), on(w.chkUpdateDelay),
                       QString::number(w.Slider1->value()) + "/" + w.txtUpdInt->text(), on(w.optWebpageType[0]),
                       w.txtSourceFilepath->text(), w.txtDestFilename->text(), w.txtServer->text(),
                       w.txtUsername->text(), w.txtPassword->text(), w.txtRemotePath->text(), w.txtPort->text(),
                       on(w.optPasAct[0]), on(w.optConType[0]), w.cmbIPWebPage->currentText(),
                       w.txtStartString->text(), w.txtEndString->text()}
        .join(u'|');
}

// Which of the dependent controls are enabled, in one line.
QString Enabled(FrmMain& w)
{
    return QStringLiteral("%1%2%3")
        .arg(w.txtSourceFilepath->isEnabled() ? "S" : "-", w.cmbIPWebPage->isEnabled() ? "I" : "-",
             w.chkUpdateDelay->isEnabled() ? "D" : "-");
}

}  // namespace

class TestSettingsBinding : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ProgramFiles files_;

    void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    // A fresh window that has loaded the list and the settings.
    std::unique_ptr<FrmMain> Loaded(ProgramState& state)
    {
        auto window = std::make_unique<FrmMain>(state);
        SyncIPWebPageList(*window, ListFileMode::Load, files_);
        LoadSettings(*window, files_);
        return window;
    }

private slots:
    void init();
    void firstRunAndFirstSave();
    void fileValuesLoad_data();
    void fileValuesLoad();
    void everythingSurvivesARestart();
    void listKeepsTypedPages();
    void badFilesLoadAndSave_data();
    void badFilesLoadAndSave();
    void startAtLogonFollowsTheBox();
    void oddFilesAreLeftAlone();
};

void TestSettingsBinding::init()
{
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    files_ = ProgramFiles::In(dir_.path());
    QFile::remove(files_.settingsFile);
    QFile::remove(files_.listFile);
}

void TestSettingsBinding::firstRunAndFirstSave()
{
    WriteFile(files_.listFile, "\"http://one.example/\"\r\n\"http://two.example/\"\r\n");
    ProgramState state;
    auto w = Loaded(state);
    QCOMPARE(Snapshot(*w), "0|0|0|15/15|1||ip.html|||||21|1|0|http://one.example/|<ip>|</ip>");
    QCOMPARE(Enabled(*w), "-I-");
    QVERIFY(!QFile::exists(files_.settingsFile));  // nothing is written by loading

    w->txtPassword->setText(QStringLiteral("pässword"));
    SaveSettings(*w, files_);
    QFile saved(files_.settingsFile);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("[Settings]\r\nStartWithWindows=0\r\nCheckOnStart=0\r\n"
                                         "DelayCheckOnStart=0\r\nInterval=15\r\nWebpageType=-1\r\n"
                                         "SourceFilepath=\r\nDestFilename=ip.html\r\nServer=\r\nPort=21\r\n"
                                         "RemotePath=\r\nUsername=\r\nPassword=cMOkc3N3b3Jk\r\nPasActFlag=-1\r\n"
                                         "ConnectType=0\r\nIPWebPage=http://one.example/\r\n"
                                         "StartString=<ip>\r\nEndString=</ip>\r\n"));
    // It holds the password: the user's alone.
    QCOMPARE(saved.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
}

void TestSettingsBinding::fileValuesLoad_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("snapshot");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("empty file") << QByteArray() << "0|0|0|5/5|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("header only") << QByteArray("[Settings]\n") << "0|0|0|5/5|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("flags -1") << QByteArray("[settings]\nWEBPAGETYPE=-1\npasactflag = -1\nConnectType=\"-1\"\n")
                              << "0|0|0|5/5|1||ip.html|||||21|1|1|||" << "---";
    QTest::newRow("flags 1") << QByteArray("[Settings]\nWebpageType=1\nPasActFlag=1\nConnectType=1\n")
                             << "0|0|0|5/5|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("empty DestFilename and Port") << QByteArray("[Settings]\nDestFilename=\nPort=  \n")
                                                 << "0|0|0|5/5|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("interval above range") << QByteArray("[Settings]\nInterval=99999\n")
                                          << "0|0|0|1440/1440|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("start box and delay") << QByteArray("[Settings]\nCheckOnStart=1\nDelayCheckOnStart=1\nInterval=60\n")
                                         << "0|1|1|60/60|0||ip.html|||||21|0|0|||" << "SID";
    QTest::newRow("delay without start box") << QByteArray("[Settings]\nDelayCheckOnStart=1\n")
                                             << "0|0|0|5/5|0||ip.html|||||21|0|0|||" << "SI-";
    QTest::newRow("page not in the list") << QByteArray("[Settings]\nIPWebPage=http://other.example/\n")
                                          << "0|0|0|5/5|0||ip.html|||||21|0|0|http://other.example/||" << "SI-";
    QTest::newRow("written on Windows") << QByteArray("[Settings]\r\nServer=caf\xE9\r\nPassword=cORzcw==\r\n")
                                        << QStringLiteral("0|0|0|5/5|0||ip.html|café||päss||21|0|0|||") << "SI-";
}

void TestSettingsBinding::fileValuesLoad()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, snapshot);
    QFETCH(QString, enabled);
    WriteFile(files_.listFile, "\"http://one.example/\"\r\n");
    WriteFile(files_.settingsFile, file);
    ProgramState state;
    auto w = Loaded(state);
    QCOMPARE(Snapshot(*w), snapshot);
    QCOMPARE(Enabled(*w), enabled);
    QCOMPARE(w->cmbIPWebPage->count(), 1);  // loading leaves the list alone
}

void TestSettingsBinding::everythingSurvivesARestart()
{
    WriteFile(files_.settingsFile, "; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=old\r\n\r\n[Later]\r\ny=2\r\n");
    ProgramState state;
    auto w = Loaded(state);
    w->chkStartWithWindows->setChecked(true);
    w->chkUpdateOnStart->setChecked(true);
    w->chkUpdateDelay->setChecked(true);
    w->Slider1->setValue(720);
    w->optWebpageType[1]->setChecked(true);
    w->txtSourceFilepath->setText(QStringLiteral("/home/me/my page.htm"));
    w->txtDestFilename->setText(QStringLiteral("index.html"));
    w->txtServer->setText(QStringLiteral("ftp.example.net"));
    w->txtUsername->setText(QStringLiteral("  me  "));
    w->txtPassword->setText(QStringLiteral("\"quoted\" = pass€"));
    w->txtRemotePath->setText(QStringLiteral("/www/ip"));
    w->txtPort->setText(QStringLiteral("2121"));
    w->optPasAct[1]->setChecked(true);
    w->optConType[0]->setChecked(true);
    w->cmbIPWebPage->setEditText(QStringLiteral("http://ip.example/?a=1;b"));
    w->txtStartString->setText(QStringLiteral("\"ip\":\""));
    w->txtEndString->setText(QString(5000, QLatin1Char('e')));
    const QString before = Snapshot(*w);
    SaveSettings(*w, files_);
    const auto inode = [this] {
        struct stat status {};
        stat(QFile::encodeName(files_.settingsFile).constData(), &status);
        return status.st_ino;
    };
    const ino_t saved = inode();
    SaveSettings(*w, files_);
    QCOMPARE(inode(), saved);  // nothing changed: the file is not rewritten
    // ...unless someone opened it to others: the password is the user's alone.
    QVERIFY(QFile::setPermissions(files_.settingsFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    SaveSettings(*w, files_);
    QCOMPARE(QFile::permissions(files_.settingsFile) & QFile::ReadOther, QFile::Permissions());

    auto again = Loaded(state);
    QCOMPARE(Snapshot(*again), before);
    QCOMPARE(Enabled(*again), "S-D");

    QFile file(files_.settingsFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=ftp.example.net\r\n"
                             "StartWithWindows=1\r\n"));
    QVERIFY(bytes.endsWith("\r\n\r\n[Later]\r\ny=2\r\n"));
    QCOMPARE(bytes.count("Server="), 1);
}

void TestSettingsBinding::listKeepsTypedPages()
{
    WriteFile(files_.listFile, "\"A\"\r\n\"B\"\r\n");
    WriteFile(files_.settingsFile, "[Settings]\r\n");
    ProgramState state;
    auto w = Loaded(state);
    w->cmbIPWebPage->setEditText(QStringLiteral("C"));
    SyncIPWebPageList(*w, ListFileMode::Save, files_);
    SyncIPWebPageList(*w, ListFileMode::Save, files_);  // written the same again
    QFile list(files_.listFile);
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), QByteArray("\"C\"\r\n\"A\"\r\n\"B\"\r\n"));
    QCOMPARE(w->cmbIPWebPage->count(), 2);  // the list itself grows at the next start
    auto again = Loaded(state);
    QCOMPARE(again->cmbIPWebPage->itemText(0), "C");
    QCOMPARE(again->cmbIPWebPage->count(), 3);
}

void TestSettingsBinding::badFilesLoadAndSave_data()
{
    QByteArray random(64 * 1024, Qt::Uninitialized);
    for (char& byte : random)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QByteArray huge = "[Settings]\nServer=" + QByteArray(10 * 1024 * 1024, 'x') + "\nPort=2121\n";
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("random bytes") << random;
    QTest::newRow("10 MB line") << huge;
    QTest::newRow("NUL bytes") << QByteArray("[Settings]\nServer=a\0b\nPort=21\0\n", 30);
}

void TestSettingsBinding::badFilesLoadAndSave()
{
    QFETCH(QByteArray, bytes);
    WriteFile(files_.settingsFile, bytes);
    WriteFile(files_.listFile, bytes);
    ProgramState state;
    auto w = Loaded(state);
    w->txtRemotePath->setText(QStringLiteral("/saved"));
    SyncIPWebPageList(*w, ListFileMode::Save, files_);
    SaveSettings(*w, files_);
    const StoredSettings saved = ReadSettingsFile(files_.settingsFile);
    QCOMPARE(saved.RemotePath, QStringLiteral("/saved"));
    QCOMPARE(saved.Server, w->txtServer->text());
    auto again = Loaded(state);
    QCOMPARE(Snapshot(*again), Snapshot(*w));
}

void TestSettingsBinding::startAtLogonFollowsTheBox()
{
    const QString entry = AutostartEntryPath(ExecutableName());
    ProgramState state;
    auto w = Loaded(state);
    w->chkStartWithWindows->setChecked(true);
    SaveSettings(*w, files_);
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Exec=\"" + ExecutablePath().toUtf8() + "\"\n"));
    w->chkStartWithWindows->setChecked(false);
    SaveSettings(*w, files_);
    QVERIFY(!QFile::exists(entry));
}

void TestSettingsBinding::oddFilesAreLeftAlone()
{
    // A FIFO would block a reader for good, /dev/zero would fill its memory.
    QCOMPARE(mkfifo(QFile::encodeName(files_.settingsFile).constData(), 0600), 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), files_.listFile));
    ProgramState state;
    auto w = Loaded(state);
    QCOMPARE(w->txtDestFilename->text(), QStringLiteral("ip.html"));  // the first run's values
    QCOMPARE(w->cmbIPWebPage->count(), 0);
    SaveSettings(*w, files_);
    QVERIFY(QFileInfo(files_.settingsFile).isFile() == false && QFileInfo::exists(files_.settingsFile));
}

QTEST_MAIN(TestSettingsBinding)
#include "test_settings_binding.moc"
