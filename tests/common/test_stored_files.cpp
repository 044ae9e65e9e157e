#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <climits>
#include <csignal>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include "../support/test_files.h"
#include "app/single_instance.h"
#include "common/file_io.h"
#include "common/program_paths.h"
#include "settings/autostart_entry.h"
#include "settings/ini_file.h"
#include "settings/ip_web_page_list.h"
#include "settings/radix64.h"

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
constexpr auto kAllEntries = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// Folders in a writable temporary directory: where the program lies, where it is installed to, and whether it
// keeps its files beside itself or in the user's configuration. "link" leads to "bin".
struct Own { QString program, installed; bool beside; };

// A file's value of key "K" in section "S", as ReadIniString and as ReadIniInt give it.
struct IniRead { QByteArray file; QString text; int number; };

// A row of the INI writing table: the file before and after the value is written to the key.
struct IniWrite { QByteArray before; QString value; QByteArray after; QString section = u"A"_s, key = u"K"_s; };

// The files the program keeps: how the file layer reads and writes them and where they live; the settings (INI)
// file and the password in it, the list file of IP web pages, the autostart entry; and the lock file that keeps a
// second start from running.
class TestStoredFiles : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

private slots:
    void initTestCase()
    {
        ::umask(022);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past a file size limit fails with EFBIG instead
    }

    void write_data()
    {
        QTest::addColumn<Write>("row");
        QTest::newRow("new: 0666 less the umask") << Write{"", ENOENT, 0644};
        QTest::newRow("same bytes and mode") << Write{"file", EFBIG, 0640, false, "old", kMode0640};
        QTest::newRow("same bytes, other mode") << Write{"file", EFBIG, 0600, true, "old", kMode0600};
        // Past the size limit set in write(): all of the bytes or none.
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
        // For a disk that fills up mid-write, a file size limit (it stops root too) while this test runs: a test
        // log written to a file must not be cut short by it.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit limit{1000, saved.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const auto restore = qScopeGuard([&saved] { ::setrlimit(RLIMIT_FSIZE, &saved); });
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
        QCOMPARE(QDir(dir.path()).entryList(kAllEntries).size(), linked ? 2 : 1);  // no temporary file left
    }

    // Beside the file the links lead to, copies by name: a dot or not, the file's name, a dot and six letters or
    // digits. Regular files of the user's only.
    void leftoverCopiesRemoved()
    {
        QTemporaryDir dir;
        const QStringList copies{u".Quendrel.ini.a1B2c3"_s, u"Quendrel.ini.ZZZ999"_s},
            kept{u"Quendrel.ini"_s, u".Quendrel.ini.a1B2c"_s, u"Quendrel.ini.a1B2c3d"_s, u".Quendrel.ini.a-B2c3"_s,
                 u"..Quendrel.ini.abcdef"_s, u"x.ini.abcdef"_s};
        for (const QString& name : copies + kept)
            QCOMPARE(WriteWholeFile(dir.filePath(name), "password"_ba), 0);
        QVERIFY(QDir(dir.path()).mkdir(u".Quendrel.ini.folder"_s));
        for (const QString& link : {u".Quendrel.ini.link12"_s, u"settings.ini"_s})
            QVERIFY(QFile::link(u"Quendrel.ini"_s, dir.filePath(link)));
        QCOMPARE(RemoveLeftoverCopies(dir.filePath(u"settings.ini"_s)).size(), copies.size());
        QStringList present = QDir(dir.path()).entryList(kAllEntries), expected = kept;
        expected << u".Quendrel.ini.folder"_s << u".Quendrel.ini.link12"_s << u"settings.ini"_s;
        present.sort(), expected.sort();
        QCOMPARE(present, expected);
        const QByteArray othersCopy = QFile::encodeName(dir.filePath(copies.first()));
        QCOMPARE(WriteWholeFile(othersCopy, "password"_ba), 0);
        const bool givenAway = ::chown(othersCopy.constData(), 65534, 0) == 0;  // as root
        QCOMPARE(RemoveLeftoverCopies(dir.filePath(u"Quendrel.ini"_s)).size(), givenAway ? 0 : 1);
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

    // The folders compared as the system resolves them: through a link the same, one below it another.
    void ownDirectory_data()
    {
        QTest::addColumn<Own>("row");
        QTest::newRow("installed copy, also as root") << Own{"bin", "bin", false};
        QTest::newRow("installed folder through a link") << Own{"bin", "link", false};
        QTest::newRow("portable copy") << Own{"portable", "bin", true};
        QTest::newRow("below the installed folder") << Own{"bin/sub", "bin", true};
    }

    void ownDirectory()
    {
        QFETCH(Own, row);
        QTemporaryDir dir;
        for (const QString& folder : {u"bin/sub"_s, u"portable"_s})
            QVERIFY(QDir(dir.path()).mkpath(folder));
        QVERIFY(QFile::link(dir.filePath(u"bin"_s), dir.filePath(u"link"_s)));
        qputenv("XDG_CONFIG_HOME", dir.filePath(u"config"_s).toUtf8());
        const QString programDirectory = dir.filePath(row.program);
        QCOMPARE(OwnDirectoryOf(programDirectory, dir.filePath(row.installed)),
                 row.beside ? programDirectory : dir.filePath(u"config/Quendrel"_s));
    }

    void iniRead_data()
    {
        QTest::addColumn<IniRead>("row");
        QTest::newRow("case of names, first duplicate, LF") << IniRead{"[s]\nk=1\nK=2"_ba, "1", 1};
        QTest::newRow("blanks, quotes, equals") << IniRead{" [ S\t] \n \tK \t=  \" a=b \"\t \n"_ba, " a=b ", 0};
        QTest::newRow("key only in other sections") << IniRead{"K=1\n[S]\nA=1\n[A]\nK=2\n[s]\nK=3\n"_ba, "", 0};
        QTest::newRow("Windows-1252, odd quotes kept") << IniRead{"[S]\nK=\"Z\xFCrich \x80'\n"_ba, u"\"Zürich €'"_s, 0};
        QTest::newRow("sign, blanks in quotes, trailing letters") << IniRead{"[S]\nK=\" +42a5 \""_ba, " +42a5 ", 42};
        QTest::newRow("INT_MIN") << IniRead{"[S]\nK=-2147483648"_ba, "-2147483648", INT_MIN};
        QTest::newRow("last line ending in CR") << IniRead{"[S]\nK=x\r"_ba, "x", 0};
        QTest::newRow("far above int") << IniRead{"[S]\nK=99999999999999999999"_ba, "99999999999999999999", INT_MAX};
    }

    void iniRead()
    {
        QFETCH(IniRead, row);
        QCOMPARE(IniFile::Parse(row.file).ReadIniString(u"S"_s, u"K"_s), row.text);
        QCOMPARE(IniFile::Parse(row.file).ReadIniInt(u"S"_s, u"K"_s), row.number);
    }

    void iniWrite_data()
    {
        QTest::addColumn<IniWrite>("row");
        QTest::newRow("in place") << IniWrite{"\xEF\xBB\xBF[a]\r\n k =old\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba, "new",
                                              "\xEF\xBB\xBF[a]\r\nK=new\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba};
        QTest::newRow("added before blank lines, not over a comment, LF")
            << IniWrite{"[A]\n;K=1\n\n \n[B]\n"_ba, "v", "[A]\n;K=1\nK=v\n\n \n[B]\n"_ba};
        // Without a line break yet, the file gets CR LF.
        QTest::newRow("new section after an unended line; line breaks as blanks")
            << IniWrite{"[B]"_ba, "a\r\nb", "[B]\r\n[A ]\r\nK =a  b\r\n"_ba, "A\r", "K\n"};
        QTest::newRow("UTF-8 name, any case; NUL; a lone quote as it is")
            << IniWrite{"[A]\n\xC3\xA4=1\n"_ba, u"\"Zü\0€"_s, "[A]\n\xC3\x84=\"Z\xC3\xBC\0\xE2\x82\xAC\n"_ba, "A",
                        u"Ä"_s};
        // The CR a file ends in is a line end, completed when a line follows.
        QTest::newRow("after a last CR") << IniWrite{"[A]\r\nS=x\r"_ba, "v", "[A]\r\nS=x\r\nK=v\r\n"_ba};
        QTest::newRow("after a last CR, no other line end") << IniWrite{"[A]\r"_ba, "v", "[A]\r\nK=v\r\n"_ba};
        QTest::newRow("blanks kept by quotes") << IniWrite{"[A]\n"_ba, " me\t", "[A]\nK=\" me\t\"\n"_ba};
        QTest::newRow("quotes kept by quotes") << IniWrite{"[A]\n"_ba, "'<b>'", "[A]\nK=\"'<b>'\"\n"_ba};
        const QString big(10 << 20, u'é');
        QTest::newRow("10 MB") << IniWrite{"[A]\n"_ba, big, "[A]\nK=" + big.toUtf8() + "\n"};
    }

    // The value also reads back as it was written.
    void iniWrite()
    {
        QFETCH(IniWrite, row);
        IniFile file = IniFile::Parse(row.before);
        file.WriteIniString(row.section, row.key, row.value);
        QCOMPARE(file.Serialize(), row.after);
        const QString read = IniFile::Parse(row.after).ReadIniString(row.section.trimmed(), row.key.trimmed());
        QCOMPARE(read, QString(row.value).replace(u'\r', u' ').replace(u'\n', u' '));
    }

    // The stored password is Qt's Base64 of the UTF-8 bytes; reading it is lenient, and takes bytes that are not
    // UTF-8 as Windows-1252.
    void radix64Decode()
    {
        QCOMPARE(Radix64Decode("cOKCrN+/"), u"p€\u07FF"_s);  // UTF-8, "+" and "/"
        QCOMPARE(Radix64Decode(u" Zm!9v\r\nY€g ==\t"_s), "foob");  // blanks, line breaks, others skipped
        QCOMPARE(Radix64Decode("A===Zm9v====YmF"), "foo");  // pad where data belongs, characters past the last group
        QCOMPARE(Radix64Decode(Radix64Encode(u"\uFEFFp"_s)), u"\uFEFFp"_s);  // a leading U+FEFF is the password's
    }

    // Blanks before a field are skipped. A quoted field runs to the next quote (commas inside belong to it) or to
    // the line's end, and the rest up to the next comma is passed over; any other field runs to the next comma,
    // without its trailing blanks. Then: empty fields are dropped, duplicates kept, every line end counts, and each
    // line is UTF-8 or Windows-1252, NUL included.
    void listParse()
    {
        const QByteArray file = " \ta b \t,\t c d \t\n \"a,1 \"x , \"b, c\nd\r\n"
                                "\"\"\na\r\nb\nc\rd\r\r\n,,\n \"a\"\n\"caf\xE9\"\n\"\xE2\x82\xAC\0\""_ba;
        const QStringList fields{"a b", "c d", "a,1 ", "b, c", "d", "a", "b", "c", "d", "a", u"café"_s, u"€\0"_s};
        QCOMPARE(ParseIPWebPageList(file), fields);
    }

    // Through a symbolic link to its target, as users keep dotfiles.
    void listSave()
    {
        const QString path = home_.filePath("list.txt"), target = home_.filePath("target.txt");
        QVERIFY(QFile::link(target, path));
        QVERIFY(SaveIPWebPageList(path, "B", {"A", "B"}));
        QCOMPARE(test::ReadFile(target), "\"A\"\r\n\"B\"\r\n"_ba);
        // A new text comes first (case counts); line breaks in an entry are blanks.
        QVERIFY(SaveIPWebPageList(path, "b", {"A", "B", u"é\r\n\"d\""_s}));
        QCOMPARE(test::ReadFile(target), "\"b\"\r\n\"A\"\r\n\"B\"\r\n\"\xC3\xA9  \"d\"\"\r\n"_ba);
    }

    // Only this program's entry is written (and not when up to date) or deleted, never through a link, and its
    // failures pass unnoticed. Exec is quoted for the shell-like splitting (blanks, quotes, "$", "`", backslashes),
    // "%" is doubled, and the whole escaped as a string.
    void autostartEntry()
    {
        qputenv("HOME", home_.path().toUtf8());  // keeps the real home out of reach
        qputenv("XDG_CONFIG_HOME", home_.path().toUtf8());
        QTest::failOnWarning(QRegularExpression("."));
        const QString path = AutostartEntryPath("quendrel"), elsewhere = home_.filePath("elsewhere");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(elsewhere, path));
        WriteAutostartEntry("quendrel", "/q");  // a dangling link: not ours
        QVERIFY(!QFileInfo::exists(elsewhere) && QFileInfo(path).isSymLink());
        QCOMPARE(WriteWholeFile(elsewhere, AutostartEntryText("/old")), 0);
        const QString exe = u"/opt/My \"x\"/$HOME/`id`/a\\b/100%/\t\n/Grüße/q"_s;
        WriteAutostartEntry("quendrel", exe);  // a link to ours: replaced
        QVERIFY(!QFileInfo(path).isSymLink() && test::ReadFile(elsewhere) == AutostartEntryText("/old"));
        QCOMPARE(test::ReadFile(path).split('\n').value(4),
                 QByteArray(R"(Exec="/opt/My \\"x\\"/\\$HOME/\\`id\\`/a\\\\b/100%%/\t\n/Grüße/q")"));
        QProcess validate;  // without an error, a warning or a hint
        validate.start("desktop-file-validate", {path});
        QVERIFY(validate.waitForFinished() && validate.exitCode() == 0 && validate.readAll().isEmpty());
        const utimbuf old{1000000000, 1000000000};
        QCOMPARE(::utime(QFile::encodeName(path).constData(), &old), 0);
        WriteAutostartEntry("quendrel", exe);  // up to date: not rewritten
        QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), old.modtime);
        DeleteAutostartEntry("quendrel");
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(WriteWholeFile(path, "[Desktop Entry]\n"), 0);
        WriteAutostartEntry("quendrel", "/q");
        DeleteAutostartEntry("quendrel");
        QCOMPARE(test::ReadFile(path), "[Desktop Entry]\n"_ba);
        // A path with a control character that has no escape: no entry rather than an invalid one, and a warning why.
        for (const auto& [program, folder] : {std::pair{u"/a\x01/q"_s, QString()}, {u"/q"_s, u"/s\x7F"_s}}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused.desktop is not written.*U\\+00(01|7F)"));
            WriteAutostartEntry("refused", program, folder);
            QVERIFY(!QFileInfo::exists(AutostartEntryPath("refused")));
        }
    }

    // Another process holds the lock until it ends in any way (killed here). A program it started (a browser
    // opened from the About window, say) may outlive it and must not keep the next start from running.
    void lockEndsWithItsHolder()
    {
        const std::string path = home_.filePath(QStringLiteral("test.lock")).toStdString();  // made before the fork
        const pid_t holder = ::fork();
        if (holder == 0) {
            ::setpgid(0, 0);  // one group with the program it starts
            SingleInstanceLock lock;
            char name[] = "sleep", seconds[] = "30";
            char* const argv[] = {name, seconds, nullptr};
            // Stops only holding the lock with the program running (posix_spawnp reports a failed exec).
            if (lock.TryAcquire(path) && ::posix_spawnp(nullptr, name, nullptr, nullptr, argv, environ) == 0)
                ::raise(SIGSTOP);
            ::_exit(1);
        }
        const auto killAll = qScopeGuard([holder] { ::kill(-holder, SIGKILL); });
        int status = 0;
        QVERIFY(::waitpid(holder, &status, WUNTRACED) == holder && WIFSTOPPED(status));
        QVERIFY(!SingleInstanceLock().TryAcquire(path));
        ::kill(holder, SIGKILL);
        QCOMPARE(::waitpid(holder, nullptr, 0), holder);
        // Free while the program it started runs on; that program lets go of the inherited descriptor only as its
        // exec completes, a moment after its starter went on, hence the wait.
        QTRY_VERIFY(SingleInstanceLock().TryAcquire(path));
    }

    void lockPathIsPerExecutableAndUser()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home_.path()));
        // The same in each start, in the runtime directory: the command-line tests.
        QVERIFY(LockPathFor("/opt/a/Quendrel") != LockPathFor("/opt/b/Quendrel"));  // a copy elsewhere runs on its own
        qputenv("XDG_RUNTIME_DIR", "relative/path");  // unusable: /tmp, named with the user's id
        QVERIFY(LockPathFor("/opt/a/Quendrel").starts_with("/tmp/Quendrel-" + std::to_string(::getuid()) + '-'));
        // A lock that cannot be made at all never keeps the program from starting.
        QVERIFY(SingleInstanceLock().TryAcquire("/nonexistent-directory/x.lock"));
    }
};

QTEST_GUILESS_MAIN(TestStoredFiles)
#include "test_stored_files.moc"
