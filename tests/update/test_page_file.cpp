#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "settings/atomic_file.h"
#include "update/page_file.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

namespace {

QByteArray ReadFile(const QString& path)
{
    return ReadWholeFile(path).value_or(QByteArray());
}

QStringList Listing(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString ErrnoMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error)) + u" - "_s + QString::number(error);
}

PageContent Content(const QString& templatePath = QString())
{
    return {templatePath.isEmpty(), templatePath, u"203.0.113.7"_s, u"15.01.24"_s, u"13:05:09"_s};
}

// Whether check() holds when run as a user that file permissions hold back:
// root is not, so as root it runs in a child that becomes "nobody".
bool HoldsUnprivileged(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        ::_exit(::setgid(nobody) == 0 && ::setuid(nobody) == 0 && check() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString Message(const std::optional<UpdateFailure>& failure)
{
    return failure ? failure->message : QString();
}

}  // namespace

class TestPageFile : public QObject {
    Q_OBJECT

private slots:
    void defaultPage();
    void templateFilled_data();
    void templateFilled();
    void sourceNotFound_data();
    void sourceNotFound();
    void deniedByPermissions_data();
    void deniedByPermissions();
    void pageIsADirectory();
    void symlinkReplacedNotFollowed();
    void newPageIsReadableByAllAndAnOldOneKeepsItsMode();
};

void TestPageFile::defaultPage()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(kPageFileName);
    PageContent content = Content();
    content.timeText = u"下午1:05:09"_s;
    QCOMPARE(Message(CreatePageFile(content, page)), QString());
    QCOMPARE(ReadFile(page), "<html><body><center><b>203.0.113.7</b><br>15.01.24 \xE4\xB8\x8B\xE5\x8D\x88"
                             "1:05:09</center></body></html>\r\n"_ba);
}

void TestPageFile::templateFilled_data()
{
    QTest::addColumn<QByteArray>("templateBytes");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QByteArray>("page");

    const QString ip = u"203.0.113.7"_s;
    const QString date = u"15.01.24"_s;
    QTest::newRow("three lines with tags")
        << "<html>\r\n<IP> <DATE> <TIME>\r\n</html>\r\n"_ba << ip << date
        << "<html>\r\n203.0.113.7 15.01.24 13:05:09\r\n</html>\r\n\r\n"_ba;
    QTest::newRow("LF") << "a\nb\n"_ba << ip << date << "a\r\nb\r\n\r\n"_ba;
    QTest::newRow("lone CR") << "a\rb\r"_ba << ip << date << "a\r\nb\r\n\r\n"_ba;
    QTest::newRow("mixed, empty lines kept") << "a\r\n\nb\r\rc\n\n"_ba << ip << date
                                             << "a\r\n\r\nb\r\n\r\nc\r\n\r\n\r\n"_ba;
    QTest::newRow("last line without break") << "a\n<IP>"_ba << ip << date << "a\r\n203.0.113.7\r\n\r\n"_ba;
    QTest::newRow("empty template") << ""_ba << ip << date << "\r\n"_ba;
    QTest::newRow("one empty line") << "\n"_ba << ip << date << "\r\n\r\n"_ba;
    QTest::newRow("lower-case tags") << "<ip><date><time><Ip>"_ba << ip << date << "<ip><date><time><Ip>\r\n\r\n"_ba;
    QTest::newRow("tag several times") << "<IP><IP>\n<TIME>-<TIME>"_ba << ip << date
                                       << "203.0.113.7203.0.113.7\r\n13:05:09-13:05:09\r\n\r\n"_ba;
    QTest::newRow("DATE in address replaced") << "<IP>"_ba << "x<DATE>y" << date << "x15.01.24y\r\n\r\n"_ba;
    QTest::newRow("IP in date kept") << "<DATE>"_ba << ip << "d<IP>" << "d<IP>\r\n\r\n"_ba;
    QTest::newRow("commas and quotes") << "\"<IP>\", '<DATE>',\"\""_ba << ip << date
                                       << "\"203.0.113.7\", '15.01.24',\"\"\r\n\r\n"_ba;
    QTest::newRow("UTF-8") << "caf\xC3\xA9 \xE2\x82\xAC <IP>"_ba << ip << date
                           << "caf\xC3\xA9 \xE2\x82\xAC 203.0.113.7\r\n\r\n"_ba;
    QTest::newRow("Windows-1252") << "caf\xE9 \x80 <IP>"_ba << ip << date
                                  << "caf\xC3\xA9 \xE2\x82\xAC 203.0.113.7\r\n\r\n"_ba;
}

void TestPageFile::templateFilled()
{
    QFETCH(QByteArray, templateBytes);
    QFETCH(QString, address);
    QFETCH(QString, dateText);
    QTemporaryDir dir;
    const QString templatePath = dir.filePath(u"page.tpl"_s);
    QVERIFY(WriteFileAtomically(templatePath, templateBytes));
    PageContent content = Content(templatePath);
    content.address = address;
    content.dateText = dateText;
    const QString page = dir.filePath(kPageFileName);
    QCOMPARE(Message(CreatePageFile(content, page)), QString());
    QTEST(ReadFile(page), "page");
    QCOMPARE(Listing(dir.path()), QStringList({u"page.tpl"_s, kPageFileName}));
}

void TestPageFile::sourceNotFound_data()
{
    QTest::addColumn<QString>("templateName");

    QTest::newRow("missing") << "missing.tpl";
    QTest::newRow("hidden") << ".tpl";
    QTest::newRow("directory") << "folder.tpl";
    QTest::newRow("empty name") << "";
}

void TestPageFile::sourceNotFound()
{
    QFETCH(QString, templateName);
    QTemporaryDir dir;
    QVERIFY(WriteFileAtomically(dir.filePath(u".tpl"_s), "<IP>"));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.tpl"_s));
    const QString page = dir.filePath(kPageFileName);
    QVERIFY(WriteFileAtomically(page, "old"));
    PageContent content = Content(templateName.isEmpty() ? QString() : dir.filePath(templateName));
    content.defaultPage = false;
    QCOMPARE(Message(CreatePageFile(content, page)), u"Can't find Source File"_s);
    QCOMPARE(ReadFile(page), "old"_ba);
}

void TestPageFile::deniedByPermissions_data()
{
    QTest::addColumn<int>("directoryMode");
    QTest::addColumn<bool>("fromTemplate");

    QTest::newRow("unreadable template") << 0x7777 << true;
    QTest::newRow("page directory not writable") << 0x5555 << false;
}

void TestPageFile::deniedByPermissions()
{
    QFETCH(int, directoryMode);
    QFETCH(bool, fromTemplate);
    QTemporaryDir dir;
    const QString templatePath = dir.filePath(u"page.tpl"_s);
    QVERIFY(WriteFileAtomically(templatePath, "<IP>", QFile::Permissions()));
    const QString page = dir.filePath(kPageFileName);
    QVERIFY(WriteFileAtomically(page, "old", QFile::Permissions(0x6666)));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(directoryMode)));
    const PageContent content = Content(fromTemplate ? templatePath : QString());
    QVERIFY(HoldsUnprivileged([&] { return Message(CreatePageFile(content, page)) == ErrnoMessage(EACCES); }));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7700)));
    QCOMPARE(ReadFile(page), "old"_ba);
    QCOMPARE(Listing(dir.path()), QStringList({u"page.tpl"_s, kPageFileName}));
}

void TestPageFile::pageIsADirectory()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(kPageFileName);
    QVERIFY(QDir(dir.path()).mkdir(kPageFileName));
    QCOMPARE(Message(CreatePageFile(Content(), page)), ErrnoMessage(EISDIR));
    QCOMPARE(Listing(dir.path()), QStringList({kPageFileName}));
}

void TestPageFile::symlinkReplacedNotFollowed()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"other.htm"_s);
    QVERIFY(WriteFileAtomically(target, "target"));
    const QString page = dir.filePath(kPageFileName);
    QVERIFY(QFile::link(target, page));
    QCOMPARE(Message(CreatePageFile(Content(), page)), QString());
    QVERIFY(!QFileInfo(page).isSymLink());
    QVERIFY(ReadFile(page).startsWith("<html>"));
    QCOMPARE(ReadFile(target), "target"_ba);
}

void TestPageFile::newPageIsReadableByAllAndAnOldOneKeepsItsMode()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(kPageFileName);
    QCOMPARE(Message(CreatePageFile(Content(), page)), QString());
    const auto readableByAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QCOMPARE(QFile::permissions(page) & ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser), readableByAll);
    QVERIFY(QFile::setPermissions(page, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(Message(CreatePageFile(Content(), page)), QString());
    QCOMPARE(QFile::permissions(page) & ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_GUILESS_MAIN(TestPageFile)
#include "test_page_file.moc"
