#include <QTest>

#include "settings/radix64.h"

using namespace quendrel;

class TestRadix64 : public QObject {
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("encodes");  // the value is also what the text encodes to
        QTest::newRow("UTF-8, \"+\" and \"/\"") << "cOKCrN+/" << QStringLiteral("p€\u07FF") << true;
        QTest::newRow("characters past the last group dropped") << "Zm9vYmF" << "foo" << false;
        QTest::newRow("blanks, line breaks, others skipped") << QStringLiteral(" Zm!9v\r\nY€g ==\t") << "foob" << false;
        QTest::newRow("pad where data belongs") << "A===Zm9v====" << "foo" << false;
        QTest::newRow("not UTF-8: Windows-1252") << "cORzc4A=" << QStringLiteral("päss€") << false;
    }

    void decode()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        QFETCH(bool, encodes);
        QCOMPARE(Radix64Decode(value), text);
        QVERIFY(!encodes || Radix64Encode(text) == value);
    }
};

QTEST_GUILESS_MAIN(TestRadix64)
#include "test_radix64.moc"
