#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "../support/test_files.h"
#include "common/file_io.h"
#include "settings/settings_file.h"
#include "settings/settings_model.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

static QStringList Entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The settings saved in turn, told apart by their passwords.
static bool Save(const QString& path, const QString& password)
{
    SettingsModel settings;
    settings.Set(Setting::Password, password);
    return WriteSettingsFile(path, settings);
}

// Saves for good, the first save announced on stdout.
[[noreturn]] static void SaveForever(const QString& path)
{
    Save(path, u"second"_s);
    std::puts("saving"), std::fflush(stdout);
    for (;;)
        Save(path, u"first"_s), Save(path, u"second"_s);
}

// Saves killed partway, by the program run again as the saver.
class TestInterruptedSaves : public QObject {
    Q_OBJECT

private slots:
    // The saver (this program run with --save-forever) is killed by SIGKILL after a seeded random delay, 1,000
    // times, and the file is always the one or the other settings. A kill between the link of the new file's
    // temporary name and the rename (two system calls in a row) leaves that copy, and a kill at any time before the
    // rename does where the file system has no unnamed files: the next start removes it (LoadSettings), so the
    // copies are counted before it and none may be there after it.
    void killedSavesLeaveOldOrNewSettings()
    {
        QTemporaryDir dir;
        const ProgramFiles files = ProgramFiles::In(dir.path());
        QVERIFY(Save(files.settingsFile, u"second"_s));
        const QByteArray second = test::ReadFile(files.settingsFile);
        QVERIFY(Save(files.settingsFile, u"first"_s));
        const QByteArray first = test::ReadFile(files.settingsFile);
        std::mt19937 random(14);
        std::uniform_int_distribution<int> delayMicroseconds(0, 1000);
        int copies = 0;
        for (int kill = 0; kill < 1000; ++kill) {
            QProcess saver;
            saver.start(QCoreApplication::applicationFilePath(), {u"--save-forever"_s, files.settingsFile});
            QVERIFY(saver.waitForReadyRead(30000));
            std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
            saver.kill();
            QVERIFY(saver.waitForFinished(30000));
            const QByteArray bytes = test::ReadFile(files.settingsFile);
            QVERIFY(bytes == first || bytes == second);
            copies += Entries(dir).size() - 1;
            SettingsModel loaded;
            LoadSettings(loaded, files);
            QCOMPARE(Entries(dir), QStringList{u"Quendrel.ini"_s});
        }
        qInfo("copies left by 1000 kills, removed at the next start: %d", copies);
    }

    // Killed while it writes (SIGXFSZ at a file size limit below the settings' size), a save leaves no copy at all:
    // the bytes have no name yet.
    void killedWhileWritingLeavesNoCopy()
    {
        QTemporaryDir dir;
        const int probe = ::open(QFile::encodeName(dir.path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (probe < 0)
            QSKIP("no unnamed files on this file system: a killed save leaves a copy until the next start");
        ::close(probe);
        const QString path = dir.filePath(u"Quendrel.ini"_s);
        QCOMPARE(WriteWholeFile(path, "old"_ba), 0);
        QProcess saver;
        saver.setChildProcessModifier([] {
            const rlimit size{100, 100}, noCore{0, 0};
            ::setrlimit(RLIMIT_FSIZE, &size), ::setrlimit(RLIMIT_CORE, &noCore), ::signal(SIGXFSZ, SIG_DFL);
        });
        saver.start(QCoreApplication::applicationFilePath(), {u"--save-forever"_s, path});
        QVERIFY(saver.waitForFinished(30000));
        QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
        QCOMPARE(saver.exitCode(), SIGXFSZ);
        QCOMPARE(Entries(dir), QStringList{u"Quendrel.ini"_s});
        QCOMPARE(test::ReadFile(path), "old"_ba);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && argv[1] == "--save-forever"_ba)
        SaveForever(QFile::decodeName(argv[2]));
    QCoreApplication app(argc, argv);
    TestInterruptedSaves test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_interrupted_saves.moc"
