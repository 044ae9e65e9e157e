#include <QRandomGenerator>
#include <QTest>

#include "settings/radix64.h"

using namespace quendrel;

class TestRadix64 : public QObject {
    Q_OBJECT

private slots:
    void knownVectors_data();
    void knownVectors();
    void decodingUnusualValues_data();
    void decodingUnusualValues();
    void anyBytesRoundTrip();
};

void TestRadix64::knownVectors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    // RFC 4648, section 10.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("f") << "f" << "Zg==";
    QTest::newRow("fo") << "fo" << "Zm8=";
    QTest::newRow("foo") << "foo" << "Zm9v";
    QTest::newRow("foob") << "foob" << "Zm9vYg==";
    QTest::newRow("fooba") << "fooba" << "Zm9vYmE=";
    QTest::newRow("foobar") << "foobar" << "Zm9vYmFy";
    // Beyond ASCII the bytes are UTF-8.
    QTest::newRow("utf-8") << QStringLiteral("pä€") << "cMOk4oKs";
}

void TestRadix64::knownVectors()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(Radix64Encode(text), encoded);
    QCOMPARE(Radix64Decode(encoded), text);
}

void TestRadix64::decodingUnusualValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("one character past a group is dropped") << "Zm9vY" << "foo";
    QTest::newRow("three characters past a group are dropped") << "Zm9vYmF" << "foo";
    QTest::newRow("blanks and line breaks are skipped") << " Zm9v\r\nYg ==\t" << "foob";
    QTest::newRow("foreign characters are skipped") << QStringLiteral("Zm!9v*Y€g==") << "foob";
    QTest::newRow("only foreign characters") << "!!!!" << "";
    QTest::newRow("pad where data belongs") << "A===Zm9v====" << "foo";
    // A password saved on Windows: its bytes are Windows-1252.
    QTest::newRow("windows-1252 bytes") << "cORzc4A=" << QStringLiteral("päss€");
}

void TestRadix64::decodingUnusualValues()
{
    QFETCH(QString, value);
    QFETCH(QString, text);
    QCOMPARE(Radix64Decode(value), text);
}

void TestRadix64::anyBytesRoundTrip()
{
    auto* random = QRandomGenerator::global();
    for (int length = 0; length < 64; ++length) {
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& b : bytes)
            b = static_cast<char>(random->bounded(256));
        const QByteArray encoded = Radix64EncodeBytes(bytes);
        QCOMPARE(encoded, bytes.toBase64());  // also: one line, past 76 characters too
        QCOMPARE(Radix64DecodeBytes(encoded), bytes);
    }
}

QTEST_GUILESS_MAIN(TestRadix64)
#include "test_radix64.moc"
