#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "../support/test_files.h"
#include "common/file_io.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

static struct stat StatOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    // For a disk that fills up mid-write, a file size limit for this process
    // (it stops root too); the test's output goes to a pipe, which it spares.
    void initTestCase()
    {
        ::umask(022);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        const rlimit limit{1000, 1000};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }

    // In the place of "f": a "file" ("old", mode 0640), a "link" to such a
    // file "other", a "dangling" link to "other", a "fifo", or nothing.
    void write_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("readError");  // of a read with a limit of 2 bytes, before the write
        QTest::addColumn<bool>("replaceLink");
        QTest::addColumn<int>("mode");  // asked for; -1 for none
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("modeAfter");  // of the file the bytes go to
        QTest::addColumn<bool>("rewritten");
        QTest::newRow("new: 0666 less the umask") << "" << ENOENT << false << -1 << "new"_ba << 0 << 0644 << true;
        QTest::newRow("mode kept") << "file" << EFBIG << false << -1 << "new"_ba << 0 << 0640 << true;
        QTest::newRow("same bytes and mode") << "file" << EFBIG << false << 0640 << "old"_ba << 0 << 0640 << false;
        QTest::newRow("same bytes, other mode") << "file" << EFBIG << false << 0600 << "old"_ba << 0 << 0600 << true;
        QTest::newRow("past the size limit: whole or nothing") << "file" << EFBIG << false << -1 << QByteArray(2000, 'x')
                                                               << EFBIG << 0640 << false;
        QTest::newRow("through a link, its target's mode kept") << "link" << EFBIG << false << -1 << "new"_ba << 0 << 0640
                                                                << true;
        QTest::newRow("through a dangling link") << "dangling" << ENOENT << false << -1 << "new"_ba << 0 << 0644 << true;
        QTest::newRow("link replaced, its mode kept") << "link" << EFBIG << true << -1 << "old"_ba << 0 << 0640 << true;
        QTest::newRow("FIFO: not read, not replaced") << "fifo" << EINVAL << false << -1 << "new"_ba << EEXIST << 0600
                                                      << false;
    }

    // Through WriteFileIfChanged, which is WriteWholeFile unless the file
    // holds the bytes already.
    void write()
    {
        QFETCH(QString, what);
        QFETCH(bool, replaceLink);
        QFETCH(int, mode);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f"_s), other = dir.filePath(u"other"_s);
        const bool linked = what == u"link" || what == u"dangling", through = linked && !replaceLink;
        if (what == u"file" || what == u"link") {
            QFile file(what == u"link" ? other : path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
            QVERIFY(file.setPermissions(QFile::Permissions(0x6640)));
        }
        QVERIFY(!linked || QFile::link(other, path));
        QVERIFY(what != u"fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QTEST(ReadFileBounded(path, 2).error, "readError");
        const QString written = through ? other : path;
        const ino_t inode = StatOf(written).st_ino;
        WriteRules rules;
        rules.atLink = replaceLink ? AtLink::Replace : AtLink::WriteThrough;
        if (mode >= 0)
            rules.mode = mode_t(mode);
        const int error = WriteFileIfChanged(path, bytes, rules);
        QTEST(error, "error");
        QTEST(int(StatOf(written).st_mode & 07777), "modeAfter");
        QTEST(StatOf(written).st_ino != inode, "rewritten");
        QCOMPARE(QFileInfo(path).isSymLink(), through);
        if (what != u"fifo")  // whose read would block
            QCOMPARE(test::ReadFile(written), error ? "old"_ba : bytes);
        QCOMPARE(test::ReadFile(other), through ? bytes : what == u"link" ? "old"_ba : ""_ba);
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(dir.path()).entryList(all).size(), linked ? 2 : 1);  // no temporary file left
    }
};

QTEST_GUILESS_MAIN(TestFileIo)
#include "test_file_io.moc"
