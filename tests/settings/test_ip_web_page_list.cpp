#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "../support/test_files.h"
#include "settings/ip_web_page_list.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestIPWebPageList : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("unquoted, blanks") << QByteArray(" \ta b \t,\t c d \t") << QStringList{"a b", "c d"};
        QTest::newRow("quoted: comma, blanks, after") << QByteArray(" \"a,1 \"x , \"b\"") << QStringList{"a,1 ", "b"};
        QTest::newRow("empty") << QByteArray("\r\n\"\"\n\n \"a\"\n,,\n") << QStringList{"a"};
        QTest::newRow("line ends, duplicates") << QByteArray("a\r\nb\nc\rd\r\r\na") << QStringList{"a", "b", "c", "d", "a"};
        QTest::newRow("open quote") << QByteArray("\"a, b\nc") << QStringList{"a, b", "c"};
        QTest::newRow("per-line encoding, NUL") << QByteArray("\"caf\xE9\"\n\"\xE2\x82\xAC\0\"", 13)
                                                << QStringList{u"café"_s, u"€\0"_s};
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QTEST(ParseIPWebPageList(bytes), "expected");
    }

    // Through a symbolic link to its target, as users keep dotfiles.
    void save()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("list.txt"), target = dir.filePath("target.txt");
        QVERIFY(QFile::link(target, path));
        QVERIFY(SaveIPWebPageList(path, "B", {"A", "B"}));
        QCOMPARE(test::ReadFile(target), "\"A\"\r\n\"B\"\r\n"_ba);
        // A new text comes first (case counts); line breaks in an entry are blanks.
        QVERIFY(SaveIPWebPageList(path, "b", {"A", "B", u"é\r\n\"d\""_s}));
        QCOMPARE(test::ReadFile(target), "\"b\"\r\n\"A\"\r\n\"B\"\r\n\"\xC3\xA9  \"d\"\"\r\n"_ba);
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(LoadIPWebPageList(path), QStringList({"b", "A", "B", u"é  "_s}));  // a quote ends the entry
    }
};

QTEST_GUILESS_MAIN(TestIPWebPageList)
#include "test_ip_web_page_list.moc"
