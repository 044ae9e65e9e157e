#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

#include "settings/ip_web_page_list.h"

using namespace quendrel;

class TestIPWebPageList : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void arbitraryBytesGiveOnlyNonEmptySingleLineFields();
    void format_data();
    void format();
    void saveAndLoad();
    void failedSaveKeepsOldFile();
};

void TestIPWebPageList::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("program-written") << QByteArray("\"http://a.example/ip\"\r\n\"b\"\r\n")
                                     << QStringList{"http://a.example/ip", "b"};
    QTest::newRow("unquoted pair") << QByteArray("http://a.example/, http://b.example/ \r\n")
                                   << QStringList{"http://a.example/", "http://b.example/"};
    QTest::newRow("comma in quotes") << QByteArray("\"a?x=1,2\" , \"b\"") << QStringList{"a?x=1,2", "b"};
    QTest::newRow("blanks") << QByteArray(" \t\"a b \" \t,\t c d \t") << QStringList{"a b ", "c d"};
    QTest::newRow("after quote") << QByteArray("\"a\"junk,\"b\"") << QStringList{"a", "b"};
    QTest::newRow("empty") << QByteArray("\r\n\"\"\n\n \"a\"\n,,\n") << QStringList{"a"};
    QTest::newRow("line ends") << QByteArray("a\r\nb\nc\rd\r\r\ne") << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("open quote") << QByteArray("\"a, b\nc") << QStringList{"a, b", "c"};
    QTest::newRow("duplicates") << QByteArray("a\nb\na") << QStringList{"a", "b", "a"};
    QTest::newRow("per-line encoding") << QByteArray("\"caf\xE9\"\n\"\xE2\x82\xAC\"")
                                       << QStringList{QString::fromUtf8("café"), QString::fromUtf8("€")};
    QTest::newRow("NUL") << QByteArray("\"a\0b\"", 5) << QStringList{QStringLiteral("a") + QChar(0) + u'b'};
}

void TestIPWebPageList::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QCOMPARE(ParseIPWebPageList(bytes), expected);
}

void TestIPWebPageList::arbitraryBytesGiveOnlyNonEmptySingleLineFields()
{
    // Mostly the characters the parser acts on, so odd mixes of them occur.
    const QByteArray alphabet("\"\", \t\r\n\0a\xE9\x80\xC3", 12);
    QRandomGenerator random(20240611);
    for (int round = 0; round < 500; ++round) {
        QByteArray bytes(random.bounded(64), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = round % 2 ? alphabet[random.bounded(alphabet.size())] : char(random.bounded(256));
        for (const QString& field : ParseIPWebPageList(bytes))
            QVERIFY(!field.isEmpty() && !field.contains(u'\n') && !field.contains(u'\r'));
    }
}

void TestIPWebPageList::format_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("new text first") << "C" << QStringList{"A", "B"} << QByteArray("\"C\"\r\n\"A\"\r\n\"B\"\r\n");
    QTest::newRow("text listed") << "B" << QStringList{"A", "B"} << QByteArray("\"A\"\r\n\"B\"\r\n");
    QTest::newRow("case counts") << "a" << QStringList{"A"} << QByteArray("\"a\"\r\n\"A\"\r\n");
    QTest::newRow("empty text") << "" << QStringList{"A"} << QByteArray("\"\"\r\n\"A\"\r\n");
    QTest::newRow("UTF-8") << QString::fromUtf8("é") << QStringList() << QByteArray("\"\xC3\xA9\"\r\n");
    QTest::newRow("pasted line breaks") << "a\r\n\"b\"" << QStringList{"c\nd"}
                                        << QByteArray("\"a  \"b\"\"\r\n\"c d\"\r\n");
}

void TestIPWebPageList::format()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QCOMPARE(FormatIPWebPageList(text, entries), expected);
}

void TestIPWebPageList::saveAndLoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.txt");
    QCOMPARE(LoadIPWebPageList(path), QStringList());
    const QStringList saved{"new", "http://a.example/ip", "https://b.example/?x=1,2", QString::fromUtf8("Grüße")};
    QVERIFY(SaveIPWebPageList(path, saved.first(), saved.mid(1)));
    QCOMPARE(LoadIPWebPageList(path), saved);
    QVERIFY(!SaveIPWebPageList(dir.filePath("missing/list.txt"), "x", {}));
}

// A disk that fills up in the middle of a save: the old list stays whole
// and no temporary file is left behind. (A file size limit stops root too.)
void TestIPWebPageList::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.txt");
    QVERIFY(SaveIPWebPageList(path, "old", {}));
    rlimit previous {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 1000;
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveIPWebPageList(path, "new", QStringList(100, QStringLiteral("http://a.example/")));
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previousHandler);
    QVERIFY(!saved);
    QCOMPARE(LoadIPWebPageList(path), QStringList{"old"});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"list.txt"});
}

QTEST_GUILESS_MAIN(TestIPWebPageList)
#include "test_ip_web_page_list.moc"
