#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include <sys/stat.h>
#include <utime.h>

#include "common/program_paths.h"
#include "common/file_io.h"
#include "settings/autostart_entry.h"
#include "settings/ip_web_page_list.h"
#include "settings/settings_file.h"
#include "settings/settings_model.h"
#include "support/test_files.h"

using namespace quendrel;
using quendrel::test::ReadFile;
using namespace Qt::StringLiterals;

class TestSettingsModel : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir_;
    ProgramFiles files_;

    // Every value in the table's order, as the file would hold it (the password as typed).
    static QString Snapshot(const SettingsModel& model)
    {
        QStringList values;
        for (const SettingKey& key : kSettingKeys) {
            const QVariant value = model.Value(key.setting);
            values.append(value.typeId() == QMetaType::Bool ? QString::number(value.toInt()) : value.toString());
        }
        return values.join(u'|');
    }

    // The settings as the program loads them at start: the list first, then the settings file.
    std::unique_ptr<SettingsModel> Loaded() const
    {
        auto model = std::make_unique<SettingsModel>();
        SyncIPWebPageList(*model, ListFileMode::Load, files_);
        LoadSettings(*model, files_);
        return model;
    }

private slots:
    void init()
    {
        QVERIFY(dir_.emplace().isValid());
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
        files_ = ProgramFiles::In(dir_->path());
    }

    // A user's path: the first run takes the first page of the list and its first save writes every key (the
    // bytes show the first-run values); the user clicks the boxes; someone adds sections by hand, the user sets
    // every value, and all of it survives saves and a restart.
    void firstRunThenEveryKeyKept()
    {
        QCOMPARE(WriteWholeFile(files_.listFile, "\"http://one.example/\"\r\n\"http://two.example/\"\r\n"), 0);
        const auto model = Loaded();
        QVERIFY(!QFile::exists(files_.settingsFile));  // nothing is written by loading
        model->Set(Setting::Password, QStringLiteral("pässword"));
        SaveSettings(*model, files_);
        QCOMPARE(ReadFile(files_.settingsFile),
                 "[Settings]\r\nStartWithWindows=0\r\nCheckOnStart=0\r\nDelayCheckOnStart=0\r\nInterval=15\r\n"
                 "WebpageType=-1\r\nSourceFilepath=\r\nDestFilename=ip.html\r\nServer=\r\nPort=21\r\n"
                 "RemotePath=\r\nUsername=\r\nPassword=cMOkc3N3b3Jk\r\nPasActFlag=-1\r\nConnectType=0\r\n"
                 "IPWebPage=http://one.example/\r\nStartString=<ip>\r\nEndString=</ip>\r\nProtocol=FTP\r\n"_ba);
        // An option never used adds nothing to a file; once used, it stays in it.
        model->Set(Setting::TryOtherPages, true);
        SaveSettings(*model, files_);
        model->Set(Setting::TryOtherPages, false);
        SaveSettings(*model, files_);
        QVERIFY(ReadFile(files_.settingsFile).endsWith("EndString=</ip>\r\nProtocol=FTP\r\nTryOtherPages=0\r\n"));
        // It holds the password: the user's alone.
        QCOMPARE(QFile::permissions(files_.settingsFile) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);

        // The model's rules hold on every Set: Changed comes once for every value a Set alters, in order, so the
        // signals also show the delay rule.
        QList<Setting> changed;
        connect(model.get(), &SettingsModel::Changed, this, [&changed](Setting setting) { changed << setting; });
        model->Set(Setting::DelayCheckOnStart, true);  // not without the start-up update: no change, no signal
        model->Set(Setting::CheckOnStart, true);
        model->Set(Setting::DelayCheckOnStart, true);
        model->Set(Setting::CheckOnStart, false);  // takes the delay along
        model->Set(Setting::Interval, 0);  // below the range; above it: row "timing" of filesLoadAndSave
        QCOMPARE(model->Number(Setting::Interval), kMinInterval);
        QCOMPARE(changed, (QList<Setting>{Setting::CheckOnStart, Setting::DelayCheckOnStart, Setting::CheckOnStart,
                                          Setting::DelayCheckOnStart, Setting::Interval}));

        // A typed page goes first in the list file (written the same again); the list itself grows at the next start.
        model->Set(Setting::IPWebPage, QStringLiteral("C"));
        SyncIPWebPageList(*model, ListFileMode::Save, files_);
        SyncIPWebPageList(*model, ListFileMode::Save, files_);
        QCOMPARE(ReadFile(files_.listFile), "\"C\"\r\n\"http://one.example/\"\r\n\"http://two.example/\"\r\n"_ba);
        QCOMPARE(model->IPWebPages().size(), 2);
        // Until a page is picked from the list there are no strings to remember, and no file of them. Picking one
        // remembers the strings of the page left and fills in those of the page picked: a well-known page brings its
        // own, a page without any leaves them as they are. A file of them that cannot be read is kept.
        QVERIFY(!QFile::exists(files_.pageStringsFile));
        const auto strings = [](const SettingsModel& m) { return m.Text(Setting::StartString) + u'|' + m.Text(Setting::EndString); };
        model->Set(Setting::StartString, u"IP: "_s);
        model->Set(Setting::EndString, QString());
        model->Set(Setting::IPWebPage, u"http://checkip.dyndns.org"_s);  // the box's text changes first
        model->PickPage(u" C "_s, u"http://checkip.dyndns.org"_s);
        QCOMPARE(strings(*model), "Current IP Address:|</body>");
        SyncIPWebPageList(*model, ListFileMode::Save, files_);
        const auto again = Loaded();
        again->PickPage({}, u"C"_s);
        QCOMPARE(strings(*again), "IP: |");
        again->PickPage({}, u"http://one.example/"_s);
        QCOMPARE(strings(*again), "IP: |");
        QCOMPARE(WriteWholeFile(files_.pageStringsFile, "{\"pages\": 1"), 0);
        const auto corrupt = Loaded();
        corrupt->PickPage(u"C"_s, u"http://one.example/"_s);
        SyncIPWebPageList(*corrupt, ListFileMode::Save, files_);
        QCOMPARE(ReadFile(files_.pageStringsFile), "{\"pages\": 1");

        const QByteArray edited = "; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=old\r\n\r\n[Later]\r\ny=2\r\n";
        QCOMPARE(WriteWholeFile(files_.settingsFile, edited), 0);
        // Every key in the table's order.
        const QVariantList values{true, true, true, 720, false, "/home/me/my page.htm", "index.html", "ftp.example.net",
                                  "2121", "/www/ip", "  me  ", "\"quoted\" = pass€", false, true,
                                  "http://ip.example/?a=1;b", "\"ip\":\"", QString(5000, u'e'), true, true, false,
                                  "SFTP", "SHA256:o8BBYdhkMcr1bfDSdo5D+Fzj3FT130KNKGGjZNtxcXU"};
        QCOMPARE(values.size(), qsizetype(kSettingCount));
        for (int index = 0; index < values.size(); ++index)
            model->Set(Setting(index), values[index]);
        SaveSettings(*model, files_);
        const QString entry = AutostartEntryPath(ExecutableName());  // started at logon as the setting says
        QVERIFY(ReadFile(entry).contains("Exec=\"" + ExecutablePath().toUtf8() + "\"\n"));
        // Nothing changed: the file is not rewritten, its time stays where it was put back.
        const utimbuf longAgo{};
        QCOMPARE(::utime(QFile::encodeName(files_.settingsFile).constData(), &longAgo), 0);
        SaveSettings(*model, files_);
        QCOMPARE(QFileInfo(files_.settingsFile).lastModified().toSecsSinceEpoch(), 0);
        // ...unless someone opened it to others: the password is the user's alone.
        QVERIFY(QFile::setPermissions(files_.settingsFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        SaveSettings(*model, files_);
        QCOMPARE(QFile::permissions(files_.settingsFile) & QFile::ReadOther, QFile::Permissions());

        QCOMPARE(Snapshot(*Loaded()), Snapshot(*model));
        // The other sections and the comment stay where they were; Server is replaced in place.
        const QByteArray bytes = ReadFile(files_.settingsFile);
        QVERIFY(bytes.startsWith("; kept\r\n[Other]\r\nx=1\r\n\r\n[Settings]\r\nServer=ftp.example.net\r\n"));
        QVERIFY(bytes.endsWith("\r\n\r\n[Later]\r\ny=2\r\n"));
        model->Set(Setting::StartWithWindows, false);
        SaveSettings(*model, files_);
        QVERIFY(!QFile::exists(entry));
        // Run with a folder the user named, the program starts at logon with that folder, from an entry of its own.
        const ProgramFiles chosen = ProgramFiles::Chosen(dir_->path());
        model->Set(Setting::StartWithWindows, true);
        SaveSettings(*model, chosen);
        const QString named = AutostartEntryPath(AutostartEntryName(chosen));
        QVERIFY(named != entry && !QFile::exists(entry));
        QVERIFY(ReadFile(named).contains(" --settings \"" + dir_->path().toUtf8() + "\"\n"));
    }

    // Each file's values as loaded; then one change saved and loaded again without loss. The bad files' bytes
    // also fill the list file; they load and save without a hang.
    void filesLoadAndSave_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("loaded");  // "" for a bad file
        // A file without the keys, or with empty values that read as their default.
        QTest::newRow("empty file") << ""_ba << "0|0|0|5|0||ip.html||21||||0|0||||0|0|1|FTP|";
        QTest::newRow("empty keys") << "[Settings]\nDestFilename=\nPort=  \nNotify=\nProtocol=\n"_ba << "0|0|0|5|0||ip.html||21||||0|0||||0|0|1|FTP|";
        QTest::newRow("flags: -1 on, 1 off") << "[settings]\nWEBPAGETYPE=-1\npasactflag = \"-1\"\nConnectType=1\n"_ba
                                             << "0|0|0|5|1||ip.html||21||||1|0||||0|0|1|FTP|";
        // The start-up timing: the delay kept with the start box, the interval clamped to the slider's range.
        QTest::newRow("timing") << "[Settings]\nCheckOnStart=1\nDelayCheckOnStart=1\nInterval=99999\n"_ba
                                << "0|1|1|1440|0||ip.html||21||||0|0||||0|0|1|FTP|";
        QTest::newRow("options added later") << "[Settings]\nTryOtherPages=1\nIncludeIPv6=1\nNotify=0\nProtocol=SFTP\nServerKey=SHA256:k\n"_ba
                                             << "0|0|0|5|0||ip.html||21||||0|0||||1|1|0|SFTP|SHA256:k";
        QTest::newRow("Windows-1252 text") << "[Settings]\r\nServer=caf\xE9\r\nPassword=cORzcw==\r\n"_ba
                                           << u"0|0|0|5|0||ip.html|café|21|||päss|0|0||||0|0|1|FTP|"_s;
        // A hidden or missing file is a first run, but the server fields still count.
        QTest::newRow("hidden") << "[Settings]\nServer=srv\nRemotePath=/r\nUsername=u\nPassword=cHc=\nInterval=60\n"_ba
                                << "0|0|0|15|1||ip.html|srv|21|/r|u|pw|1|0|http://one.example/|<ip>|</ip>|0|0|1|FTP|";
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator(20261206).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes") << noise << "";
        QTest::newRow("10 MB line") << "[Settings]\nServer=" + QByteArray(10 << 20, 'x') + "\nPort=2121\n" << "";
        QTest::newRow("NUL bytes") << QByteArray("[Settings]\nServer=a\0b\nPort=21\0\n", 30) << "";
        QTest::newRow("FIFO and /dev/zero") << ""_ba << "";
    }

    void filesLoadAndSave()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, loaded);
        if (QTest::currentDataTag() == "hidden"_L1)
            files_.settingsFile = dir_->filePath(u".Quendrel.ini"_s);
        // A FIFO would block a reader for good, /dev/zero would fill its memory.
        if (QTest::currentDataTag() == "FIFO and /dev/zero"_L1) {
            QCOMPARE(mkfifo(QFile::encodeName(files_.settingsFile).constData(), 0600), 0);
            QVERIFY(QFile::link(u"/dev/zero"_s, files_.listFile));
        } else {
            QCOMPARE(WriteWholeFile(files_.settingsFile, file), 0);
            QCOMPARE(WriteWholeFile(files_.listFile, loaded.isEmpty() ? file : "\"http://one.example/\"\r\n"_ba), 0);
        }
        const auto model = Loaded();
        if (!loaded.isEmpty())
            QCOMPARE(Snapshot(*model), loaded);
        QCOMPARE(model->IPWebPages(), LoadIPWebPageList(files_.listFile));  // loading leaves the list alone
        model->Set(Setting::RemotePath, u"/saved"_s);
        SyncIPWebPageList(*model, ListFileMode::Save, files_);
        SaveSettings(*model, files_);
        if (QTest::currentDataTag() == "FIFO and /dev/zero"_L1)  // left alone, and so a first run each time
            QVERIFY(QFileInfo::exists(files_.settingsFile) && !QFileInfo(files_.settingsFile).isFile());
        else
            QCOMPARE(Snapshot(*Loaded()), Snapshot(*model));
    }
};

QTEST_GUILESS_MAIN(TestSettingsModel)
#include "test_settings_model.moc"
