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
#include "common/program_paths.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

static struct stat StatOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

// A row of the write table: what is in the place of "f" before the write ("file": "old" with mode 0640; "link": a
// link to such a file "other"; "dangling link": a link to "other", which is missing; "fifo"; "": nothing), the error
// of a read of it with a limit of 2 bytes, the mode of the file the bytes go to and whether a new file took its
// place, then the write itself and the error it gives.
struct Write { QString what; int readError, modeAfter = 0640; bool rewritten = true; QByteArray bytes = "new";
               WriteRules rules = {}; int error = 0; };

const WriteRules kMode0640{AtLink::WriteThrough, 0640, {}}, kMode0600{AtLink::WriteThrough, 0600, {}};

// The file layer: how files are read and written, and where the program keeps them.
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

    void write_data()
    {
        QTest::addColumn<Write>("row");
        QTest::newRow("new: 0666 less the umask") << Write{"", ENOENT, 0644};
        QTest::newRow("same bytes and mode") << Write{"file", EFBIG, 0640, false, "old", kMode0640};
        QTest::newRow("same bytes, other mode") << Write{"file", EFBIG, 0600, true, "old", kMode0600};
        // Past the size limit set above: all of the bytes or none.
        QTest::newRow("over the size limit") << Write{"file", EFBIG, 0640, false, QByteArray(2000, 'x'), {}, EFBIG};
        QTest::newRow("through a link, target's mode kept") << Write{"link", EFBIG};
        QTest::newRow("through a dangling link") << Write{"dangling link", ENOENT, 0644};
        QTest::newRow("link replaced, mode kept") << Write{"link", EFBIG, 0640, true, "old", {AtLink::Replace, {}, {}}};
        QTest::newRow("FIFO: not read, not replaced") << Write{"fifo", EINVAL, 0600, false, "new", {}, EEXIST};
    }

    // Through WriteFileIfChanged, which is WriteWholeFile unless the file
    // holds the bytes already.
    void write()
    {
        QFETCH(Write, row);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"f"_s), other = dir.filePath(u"other"_s);
        const bool linked = row.what.endsWith(u"link"), through = linked && row.rules.atLink == AtLink::WriteThrough;
        if (row.what == u"file" || row.what == u"link")
            QCOMPARE(WriteWholeFile(row.what == u"link" ? other : path, "old"_ba, kMode0640), 0);
        QVERIFY(!linked || QFile::link(other, path));
        QVERIFY(row.what != u"fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QCOMPARE(ReadFileBounded(path, 2).error, row.readError);
        const QString written = through ? other : path;
        const ino_t inode = StatOf(written).st_ino;
        QCOMPARE(WriteFileIfChanged(path, row.bytes, row.rules), row.error);
        QCOMPARE(int(StatOf(written).st_mode & 07777), row.modeAfter);
        QCOMPARE(StatOf(written).st_ino != inode, row.rewritten);
        QCOMPARE(QFileInfo(path).isSymLink(), through);
        if (row.what != u"fifo")  // whose read would block
            QCOMPARE(test::ReadFile(written), row.error ? "old"_ba : row.bytes);
        // What a replaced link led to stays as it was.
        QCOMPARE(test::ReadFile(other), through ? row.bytes : row.what == u"link" ? "old"_ba : ""_ba);
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(dir.path()).entryList(all).size(), linked ? 2 : 1);  // no temporary file left
    }

    // An installed copy: the program's directory belongs to root, the user
    // may not write there.
    void installedCopyKeepsItsFilesInTheUsersConfiguration()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as a user who cannot write the program's directory");
        QTemporaryDir config;
        QVERIFY(QFile::setPermissions(config.path(), QFile::Permissions(0x7707)));
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString expected = config.path() + u"/Quendrel"_s;
        QVERIFY(test::RunAsOrdinaryUser([&] { return WritableDirectory() == expected && QDir(expected).exists(); }));
    }
};

QTEST_GUILESS_MAIN(TestFileIo)
#include "test_file_io.moc"
