#include "settings/atomic_file.h"
#include "settings/ini_file.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <climits>

using namespace Qt::StringLiterals;

namespace quendrel {

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void readsAsTheProfileFunctions_data();
    void readsAsTheProfileFunctions();
    void readsIntegers_data();
    void readsIntegers();
    void writesAsTheProfileFunctions_data();
    void writesAsTheProfileFunctions();
    void firstSaveToMissingFileIsInWindowsFormat();
    void saveGivesThePermissions();
    void valueReadsBackWhole_data();
    void valueReadsBackWhole();
    void randomBytesSurviveRoundTrip();
};

void TestIniFile::readsAsTheProfileFunctions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("case of names") << "[Settings]\r\nHost=a\r\n"_ba << "SETTINGS" << "host" << "a";
    QTest::newRow("blanks around names and value") << " [ S\t] \n \tK \t=  a b\t \n"_ba << "s" << "k" << "a b";
    QTest::newRow("double quotes") << "[S]\nK= \"  v \" \n"_ba << "S" << "K" << "  v ";
    QTest::newRow("single quotes") << "[S]\nK='v'\n"_ba << "S" << "K" << "v";
    QTest::newRow("only one pair removed") << "[S]\nK=\"'v'\"\n"_ba << "S" << "K" << "'v'";
    QTest::newRow("mismatched quotes kept") << "[S]\nK=\"v'\n"_ba << "S" << "K" << "\"v'";
    QTest::newRow("lone quote kept") << "[S]\nK=\"\n"_ba << "S" << "K" << "\"";
    QTest::newRow("value with equals") << "[S]\nK=a=b\n"_ba << "S" << "K" << "a=b";
    QTest::newRow("CRLF file") << "[S]\r\nA=1\r\nK=2\r\n"_ba << "S" << "K" << "2";
    QTest::newRow("LF file") << "[S]\nA=1\nK=2"_ba << "S" << "K" << "2";
    QTest::newRow("duplicate key") << "[S]\nK=1\nk=2\n"_ba << "S" << "K" << "1";
    QTest::newRow("duplicate section") << "[S]\nA=1\n[s]\nK=2\n"_ba << "S" << "K" << "";
    QTest::newRow("comment line") << "[S]\n ;K=1\nK=2\n"_ba << "S" << "K" << "2";
    QTest::newRow("comment is no key") << "[S]\n ;K=1\n"_ba << "S" << ";K" << "";
    QTest::newRow("key in another section") << "[A]\nK=1\n[S]\nB=2\n"_ba << "S" << "K" << "";
    QTest::newRow("key before any section") << "K=1\n[S]\n"_ba << "S" << "K" << "";
    QTest::newRow("missing section") << "[A]\nK=1\n"_ba << "S" << "K" << "";
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF[S]\r\nK=v\r\n"_ba << "S" << "K" << "v";
    QTest::newRow("UTF-8") << "[S]\n\xC3\x84=Z\xC3\xBCrich\n"_ba << "S" << u"ä"_s << u"Zürich"_s;
    QTest::newRow("Windows-1252") << "[S]\n\xC4=Z\xFCrich \x80\n"_ba << "S" << u"ä"_s << u"Zürich €"_s;
}

void TestIniFile::readsAsTheProfileFunctions()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QTEST(IniFile::Parse(file).ReadIniString(section, key), "expected");
}

void TestIniFile::readsIntegers_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty") << ""_ba << 0;
    QTest::newRow("letters") << "abc"_ba << 0;
    QTest::newRow("trailing letters") << "12abc"_ba << 12;
    QTest::newRow("negative") << "-1"_ba << -1;
    QTest::newRow("plus sign") << "+5"_ba << 5;
    QTest::newRow("blanks") << " 7 "_ba << 7;
    QTest::newRow("quoted") << "\" 42\""_ba << 42;
    QTest::newRow("sign alone") << "- 1"_ba << 0;
    QTest::newRow("hexadecimal") << "0x10"_ba << 0;
    QTest::newRow("INT_MAX") << "2147483647"_ba << INT_MAX;
    QTest::newRow("INT_MIN") << "-2147483648"_ba << INT_MIN;
    QTest::newRow("above int") << "2147483648"_ba << INT_MAX;
    QTest::newRow("far above int") << "99999999999999999999999"_ba << INT_MAX;
    QTest::newRow("far below int") << "-99999999999999999999999"_ba << INT_MIN;
}

void TestIniFile::readsIntegers()
{
    QFETCH(QByteArray, value);
    QTEST(IniFile::Parse("[S]\nN=" + value + "\n").ReadIniInt("S", "N"), "expected");
}

void TestIniFile::writesAsTheProfileFunctions_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace in place")
        << "\xEF\xBB\xBF; c\r\n[a]\r\n k =old\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba << "A" << "K" << "new"
        << "\xEF\xBB\xBF; c\r\n[a]\r\nK=new\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba;
    QTest::newRow("first duplicate replaced") << "[S]\nK=1\nK=2\n"_ba << "S" << "K" << "v" << "[S]\nK=v\nK=2\n"_ba;
    QTest::newRow("added before blank lines")
        << "[A]\r\nx=1\r\n\r\n \r\n[B]\r\ny=2\r\n"_ba << "A" << "K" << "v"
        << "[A]\r\nx=1\r\nK=v\r\n\r\n \r\n[B]\r\ny=2\r\n"_ba;
    QTest::newRow("added before next section") << "[A]\nx=1\n[B]\n"_ba << "A" << "K" << "v" << "[A]\nx=1\nK=v\n[B]\n"_ba;
    QTest::newRow("added to empty section") << "[A]\n\n[B]\n"_ba << "A" << "K" << "v" << "[A]\nK=v\n\n[B]\n"_ba;
    QTest::newRow("first duplicate section")
        << "[A]\nx=1\n[A]\nK=2\n"_ba << "A" << "K" << "v" << "[A]\nx=1\nK=v\n[A]\nK=2\n"_ba;
    QTest::newRow("comment not replaced") << "[A]\n;K=1\n"_ba << "A" << "K" << "v" << "[A]\n;K=1\nK=v\n"_ba;
    QTest::newRow("section appended") << "[A]\r\nx=1\r\n"_ba << "B" << "K" << "v" << "[A]\r\nx=1\r\n[B]\r\nK=v\r\n"_ba;
    QTest::newRow("last line without end") << "[A]\nx=1"_ba << "A" << "K" << "v" << "[A]\nx=1\nK=v\n"_ba;
    QTest::newRow("section after last line without end")
        << "[A]\nx=1"_ba << "B" << "K" << "v" << "[A]\nx=1\n[B]\nK=v\n"_ba;
    QTest::newRow("no line break yet") << "[A]"_ba << "A" << "K" << "v" << "[A]\r\nK=v\r\n"_ba;
    QTest::newRow("line breaks in value")
        << "[A]\n"_ba << "A" << "K" << "a\r\nb\nc\rd" << "[A]\nK=a  b c d\n"_ba;
    QTest::newRow("UTF-8 value") << "[A]\n"_ba << "A" << "K" << u"Zürich €"_s << "[A]\nK=Z\xC3\xBCrich \xE2\x82\xAC\n"_ba;
}

void TestIniFile::writesAsTheProfileFunctions()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    IniFile file = IniFile::Parse(before);
    file.WriteIniString(section, key, value);
    QTEST(file.Serialize(), "after");
}

void TestIniFile::firstSaveToMissingFileIsInWindowsFormat()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    IniFile file = IniFile::Load(path);
    file.WriteIniString("Settings", "A", "1");
    file.WriteIniString("Settings", "B", "2");
    QVERIFY(file.Save(path));
    QCOMPARE(ReadWholeFile(path).value_or(QByteArray()), "[Settings]\r\nA=1\r\nB=2\r\n"_ba);
    QCOMPARE(IniFile::Load(path).ReadIniInt("Settings", "B"), 2);
}

void TestIniFile::saveGivesThePermissions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    QVERIFY(IniFile().Save(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    struct stat status {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, 0600u);
}

void TestIniFile::valueReadsBackWhole_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("beyond 254 characters") << QString(300, u'x');
    QTest::newRow("10 MB") << QString(10 * 1024 * 1024, u'\u00e9');
    QTest::newRow("NUL characters") << u"a\0b\0"_s;
    QTest::newRow("blanks around") << u"  me\t"_s;
    QTest::newRow("a marker in quotes") << u"\"ip\":\""_s;
    QTest::newRow("single quotes") << u"'<b>'"_s;
    QTest::newRow("a lone quote") << u"\""_s;
}

void TestIniFile::valueReadsBackWhole()
{
    QFETCH(QString, value);
    IniFile file = IniFile::Parse("[A]\nx=1\n[S]\ny=2\n"_ba);
    file.WriteIniString("S", "K", value);
    file.WriteIniString("S", "K", value);  // a replacement, too
    QCOMPARE(file.ReadIniString("S", "K"), value);
    QCOMPARE(IniFile::Parse(file.Serialize()).ReadIniString("S", "K"), value);
}

// Bytes with a meaning to the parser, mixed with any others.
void TestIniFile::randomBytesSurviveRoundTrip()
{
    QRandomGenerator random(20240601);
    const QByteArray special = "[]=; \t\r\n\0\xEF\xBB\xBF\"'S"_ba;
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(random.bounded(200), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = random.bounded(2) ? special[random.bounded(int(special.size()))] : char(random.bounded(256));
        IniFile file = IniFile::Parse(bytes);
        QCOMPARE(file.Serialize(), bytes);
        file.WriteIniString("S", "K", "v");
        QCOMPARE(file.ReadIniString("S", "K"), u"v"_s);
        QCOMPARE(IniFile::Parse(file.Serialize()).ReadIniString("S", "K"), u"v"_s);
    }
}

}  // namespace quendrel

QTEST_GUILESS_MAIN(quendrel::TestIniFile)
#include "test_ini_file.moc"
