#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "common/program_paths.h"
#include "common/file_io.h"
#include "settings/autostart_entry.h"
#include "settings/settings_file.h"
#include "settings/settings_model.h"
#include "support/test_files.h"

using namespace quendrel;
using quendrel::test::ReadFile;

namespace {

// Every value in the table's order, as the file would hold it (the password as typed).
QString Snapshot(const SettingsModel& model)
{
    QStringList values;
    for (const SettingKey& key : kSettingKeys) {
        const QVariant value = model.Value(key.setting);
        if (key.kind == SettingKind::Check || key.kind == SettingKind::Flag)
            values.append(value.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
        else
            values.append(value.toString());
    }
    return values.join(u'|');
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QCOMPARE(WriteWholeFile(path, bytes), 0);
}

ino_t Inode(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

}  // namespace

class TestSettingsModel : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    ProgramFiles files_;

    void Load(SettingsModel& model)
    {
        SyncIPWebPageList(model, ListFileMode::Load, files_);
        LoadSettings(model, files_);
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        files_ = ProgramFiles::In(dir_.path());
        QFile::remove(files_.settingsFile);
        QFile::remove(files_.listFile);
    }

    void rulesHoldOnEverySet()
    {
        SettingsModel model;
        QSignalSpy changed(&model, &SettingsModel::Changed);
        model.Set(Setting::DelayCheckOnStart, true);  // not without the start-up update
        QCOMPARE(model.IsOn(Setting::DelayCheckOnStart), false);
        model.Set(Setting::CheckOnStart, true);
        model.Set(Setting::DelayCheckOnStart, true);
        model.Set(Setting::CheckOnStart, false);  // takes the delay along
        QCOMPARE(model.IsOn(Setting::DelayCheckOnStart), false);
        model.Set(Setting::Interval, 0);
        QCOMPARE(model.Number(Setting::Interval), kMinInterval);
        model.Set(Setting::Interval, 99999);
        QCOMPARE(model.Number(Setting::Interval), kMaxInterval);
        model.Set(Setting::Interval, kMaxInterval);  // no change, no signal
        const QList<Setting> expected{Setting::CheckOnStart, Setting::DelayCheckOnStart, Setting::CheckOnStart,
                                      Setting::DelayCheckOnStart, Setting::Interval, Setting::Interval};
        QList<Setting> seen;
        for (const QList<QVariant>& signal : changed)
            seen << signal[0].value<Setting>();
        QCOMPARE(seen, expected);
    }

    void firstRunAndFirstSave()
    {
        WriteFile(files_.listFile, "\"http://one.example/\"\r\n\"http://two.example/\"\r\n");
        SettingsModel model;
        Load(model);
        QCOMPARE(Snapshot(model), "0|0|0|15|1||ip.html||21||||1|0|http://one.example/|<ip>|</ip>");
        QVERIFY(!QFile::exists(files_.settingsFile));  // nothing is written by loading

        model.Set(Setting::Password, QStringLiteral("pässword"));
        SaveSettings(model, files_);
        QCOMPARE(ReadFile(files_.settingsFile),
                 QByteArray("[Settings]\r\nStartWithWindows=0\r\nCheckOnStart=0\r\n"
                            "DelayCheckOnStart=0\r\nInterval=15\r\nWebpageType=-1\r\n"
                            "SourceFilepath=\r\nDestFilename=ip.html\r\nServer=\r\nPort=21\r\n"
                            "RemotePath=\r\nUsername=\r\nPassword=cMOkc3N3b3Jk\r\nPasActFlag=-1\r\n"
                            "ConnectType=0\r\nIPWebPage=http://one.example/\r\n"
                            "StartString=<ip>\r\nEndString=</ip>\r\n"));
        // It holds the password: the user's alone.
        QCOMPARE(QFile::permissions(files_.settingsFile) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    void fileValuesLoad_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("snapshot");
        QTest::newRow("empty file") << QByteArray() << "0|0|0|5|0||ip.html||21||||0|0|||";
        QTest::newRow("flags -1") << QByteArray("[settings]\nWEBPAGETYPE=-1\npasactflag = -1\nConnectType=\"-1\"\n")
                                  << "0|0|0|5|1||ip.html||21||||1|1|||";
        QTest::newRow("flags 1") << QByteArray("[Settings]\nWebpageType=1\nPasActFlag=1\nConnectType=1\n")
                                 << "0|0|0|5|0||ip.html||21||||0|0|||";
        QTest::newRow("empty DestFilename and Port") << QByteArray("[Settings]\nDestFilename=\nPort=  \n")
                                                     << "0|0|0|5|0||ip.html||21||||0|0|||";
        QTest::newRow("interval above range") << QByteArray("[Settings]\nInterval=99999\n")
                                              << "0|0|0|1440|0||ip.html||21||||0|0|||";
        QTest::newRow("start box and delay") << QByteArray("[Settings]\nCheckOnStart=1\nDelayCheckOnStart=1\nInterval=60\n")
                                             << "0|1|1|60|0||ip.html||21||||0|0|||";
        QTest::newRow("delay without start box") << QByteArray("[Settings]\nDelayCheckOnStart=1\n")
                                                 << "0|0|0|5|0||ip.html||21||||0|0|||";
        QTest::newRow("page not in the list") << QByteArray("[Settings]\nIPWebPage=http://other.example/\n")
                                              << "0|0|0|5|0||ip.html||21||||0|0|http://other.example/||";
        QTest::newRow("Windows-1252 text") << QByteArray("[Settings]\r\nServer=caf\xE9\r\nPassword=cORzcw==\r\n")
                                           << QStringLiteral("0|0|0|5|0||ip.html|café|21|||päss|0|0|||");
        // A hidden or missing file is a first run, but the server fields still count.
        QTest::newRow("no visible file") << QByteArray() << "0|0|0|15|1||ip.html|srv|21|/r|u|pw|1|0|http://one.example/|<ip>|</ip>";
    }

    void fileValuesLoad()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, snapshot);
        WriteFile(files_.listFile, "\"http://one.example/\"\r\n");
        if (QTest::currentDataTag() == QLatin1String("no visible file")) {
            files_.settingsFile = dir_.filePath(QStringLiteral(".Quendrel.ini"));
            file = "[Settings]\nServer=srv\nRemotePath=/r\nUsername=u\nPassword=cHc=\nInterval=60\n";
        }
        WriteFile(files_.settingsFile, file);
        SettingsModel model;
        Load(model);
        QCOMPARE(Snapshot(model), snapshot);
        QCOMPARE(model.IPWebPages(), QStringList{"http://one.example/"});  // loading leaves the list alone
    }

    void everyKeySurvivesARestart()
    {
        WriteFile(files_.settingsFile, "; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=old\r\n\r\n[Later]\r\ny=2\r\n");
        SettingsModel model;
        Load(model);
        const QList<std::pair<Setting, QVariant>> values{
            {Setting::StartWithWindows, true}, {Setting::CheckOnStart, true}, {Setting::DelayCheckOnStart, true},
            {Setting::Interval, 720}, {Setting::WebpageType, false}, {Setting::SourceFilepath, "/home/me/my page.htm"},
            {Setting::DestFilename, "index.html"}, {Setting::Server, "ftp.example.net"}, {Setting::Port, "2121"},
            {Setting::RemotePath, "/www/ip"}, {Setting::Username, "  me  "}, {Setting::Password, "\"quoted\" = pass€"},
            {Setting::PasActFlag, false}, {Setting::ConnectType, true}, {Setting::IPWebPage, "http://ip.example/?a=1;b"},
            {Setting::StartString, "\"ip\":\""}, {Setting::EndString, QString(5000, u'e')}};
        QCOMPARE(values.size(), qsizetype(kSettingCount));  // every key, each once
        for (const auto& [setting, value] : values)
            model.Set(setting, value);
        const QString before = Snapshot(model);
        SaveSettings(model, files_);
        const ino_t saved = Inode(files_.settingsFile);
        SaveSettings(model, files_);
        QCOMPARE(Inode(files_.settingsFile), saved);  // nothing changed: the file is not rewritten
        // ...unless someone opened it to others: the password is the user's alone.
        QVERIFY(QFile::setPermissions(files_.settingsFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        SaveSettings(model, files_);
        QCOMPARE(QFile::permissions(files_.settingsFile) & QFile::ReadOther, QFile::Permissions());

        SettingsModel again;
        Load(again);
        QCOMPARE(Snapshot(again), before);
        const QByteArray bytes = ReadFile(files_.settingsFile);
        QVERIFY(bytes.startsWith("; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=ftp.example.net\r\n"
                                 "StartWithWindows=1\r\n"));
        QVERIFY(bytes.endsWith("\r\n\r\n[Later]\r\ny=2\r\n"));
        QCOMPARE(bytes.count("Server="), 1);
    }

    void listKeepsTypedPages()
    {
        WriteFile(files_.listFile, "\"A\"\r\n\"B\"\r\n");
        WriteFile(files_.settingsFile, "[Settings]\r\n");
        SettingsModel model;
        Load(model);
        model.Set(Setting::IPWebPage, QStringLiteral("C"));
        SyncIPWebPageList(model, ListFileMode::Save, files_);
        SyncIPWebPageList(model, ListFileMode::Save, files_);  // written the same again
        QCOMPARE(ReadFile(files_.listFile), QByteArray("\"C\"\r\n\"A\"\r\n\"B\"\r\n"));
        QCOMPARE(model.IPWebPages().size(), 2);  // the list itself grows at the next start
    }

    void badFilesLoadAndSave_data()
    {
        QRandomGenerator random(20261206);
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        for (char& byte : noise)
            byte = static_cast<char>(random.bounded(256));
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("random bytes") << noise;
        QTest::newRow("10 MB line") << "[Settings]\nServer=" + QByteArray(10 * 1024 * 1024, 'x') + "\nPort=2121\n";
        QTest::newRow("NUL bytes") << QByteArray("[Settings]\nServer=a\0b\nPort=21\0\n", 30);
        QTest::newRow("FIFO and /dev/zero") << QByteArray();
    }

    void badFilesLoadAndSave()
    {
        QFETCH(QByteArray, bytes);
        const bool special = bytes.isEmpty();
        if (special) {
            // A FIFO would block a reader for good, /dev/zero would fill its memory.
            QCOMPARE(mkfifo(QFile::encodeName(files_.settingsFile).constData(), 0600), 0);
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), files_.listFile));
        } else {
            WriteFile(files_.settingsFile, bytes);
            WriteFile(files_.listFile, bytes);
        }
        SettingsModel model;
        Load(model);
        model.Set(Setting::RemotePath, QStringLiteral("/saved"));
        SyncIPWebPageList(model, ListFileMode::Save, files_);
        SaveSettings(model, files_);
        SettingsModel again;
        Load(again);
        if (special) {  // left alone: a first run each time
            QVERIFY(QFileInfo::exists(files_.settingsFile) && !QFileInfo(files_.settingsFile).isFile());
            QCOMPARE(again.Text(Setting::RemotePath), QString());
        } else {
            QCOMPARE(Snapshot(again), Snapshot(model));
        }
    }

    void startAtLogonFollowsTheSetting()
    {
        const QString entry = AutostartEntryPath(ExecutableName());
        SettingsModel model;
        model.Set(Setting::StartWithWindows, true);
        SaveSettings(model, files_);
        QVERIFY(ReadFile(entry).contains("Exec=\"" + ExecutablePath().toUtf8() + "\"\n"));
        model.Set(Setting::StartWithWindows, false);
        SaveSettings(model, files_);
        QVERIFY(!QFile::exists(entry));
    }
};


QTEST_GUILESS_MAIN(TestSettingsModel)
#include "test_settings_model.moc"
