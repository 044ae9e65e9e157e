#include <QTest>

#include <climits>

#include "settings/ini_file.h"

using namespace Qt::StringLiterals;
using namespace quendrel;

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    // Section "S", key "K": the value as ReadIniString and as ReadIniInt give it.
    void read_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("case of names, first duplicate, LF") << "[s]\nk=1\nK=2"_ba << "1" << 1;
        QTest::newRow("blanks, quotes, equals") << " [ S\t] \n \tK \t=  \" a=b \"\t \n"_ba << " a=b " << 0;
        QTest::newRow("one pair of single quotes") << "[S]\nK='\"v\"'\n"_ba << "\"v\"" << 0;
        QTest::newRow("mismatched quotes kept") << "[S]\nK=\"v'\n"_ba << "\"v'" << 0;
        QTest::newRow("key only in other sections") << "K=1\n[S]\nA=1\n[A]\nK=2\n[s]\nK=3\n"_ba << "" << 0;
        QTest::newRow("byte order mark, CR LF") << "\xEF\xBB\xBF[S]\r\nK=v\r\n"_ba << "v" << 0;
        QTest::newRow("Windows-1252") << "[S]\nK=Z\xFCrich \x80\n"_ba << u"Zürich €"_s << 0;
        QTest::newRow("trailing letters") << "[S]\nK=12a5"_ba << "12a5" << 12;
        QTest::newRow("sign, blanks in quotes") << "[S]\nK=\" +42 \""_ba << " +42 " << 42;
        QTest::newRow("INT_MIN") << "[S]\nK=-2147483648"_ba << "-2147483648" << INT_MIN;
        QTest::newRow("far above int") << "[S]\nK=99999999999999999999"_ba << "99999999999999999999" << INT_MAX;
    }

    void read()
    {
        QFETCH(QByteArray, file);
        QTEST(IniFile::Parse(file).ReadIniString(u"S"_s, u"K"_s), "text");
        QTEST(IniFile::Parse(file).ReadIniInt(u"S"_s, u"K"_s), "number");
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("replace in place")
            << "\xEF\xBB\xBF; c\r\n[a]\r\n k =old\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba << "A" << "K" << "new"
            << "\xEF\xBB\xBF; c\r\n[a]\r\nK=new\r\n\tx=\xFF\0y\n\r\n[B]\r\nK=b"_ba;
        QTest::newRow("added before blank lines, not over a comment")
            << "[A]\r\n;K=1\r\n\r\n \r\n[B]\r\n"_ba << "A" << "K" << "v" << "[A]\r\n;K=1\r\nK=v\r\n\r\n \r\n[B]\r\n"_ba;
        QTest::newRow("added to empty section") << "[A]\n\n[B]\n"_ba << "A" << "K" << "v" << "[A]\nK=v\n\n[B]\n"_ba;
        QTest::newRow("section after a last line without end") << "[A]\nx=1"_ba << "B" << "K" << "v"
                                                               << "[A]\nx=1\n[B]\nK=v\n"_ba;
        QTest::newRow("empty file: CR LF; line breaks as blanks")
            << ""_ba << "A\r" << "K\n" << "a\r\nb" << "[A ]\r\nK =a  b\r\n"_ba;
        QTest::newRow("UTF-8 name, any case; NUL") << "[A]\n\xC3\xA4=1\n"_ba << "A" << u"Ä"_s << u"Zü\0€"_s
                                                   << "[A]\n\xC3\x84=Z\xC3\xBC\0\xE2\x82\xAC\n"_ba;
        QTest::newRow("blanks kept by quotes") << "[A]\n"_ba << "A" << "K" << " me\t" << "[A]\nK=\" me\t\"\n"_ba;
        QTest::newRow("quotes kept by quotes") << "[A]\n"_ba << "A" << "K" << "'<b>'" << "[A]\nK=\"'<b>'\"\n"_ba;
        QTest::newRow("lone quote as it is") << "[A]\n"_ba << "A" << "K" << "\"" << "[A]\nK=\"\n"_ba;
        const QString big(10 * 1024 * 1024, u'é');
        QTest::newRow("10 MB") << "[A]\n"_ba << "A" << "K" << big << "[A]\nK=" + big.toUtf8() + "\n";
    }

    // The value also reads back as it was written.
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        IniFile file = IniFile::Parse(before);
        file.WriteIniString(section, key, value);
        QTEST(file.Serialize(), "after");
        const QString read = IniFile::Parse(file.Serialize()).ReadIniString(section.trimmed(), key.trimmed());
        QCOMPARE(read, QString(value).replace(u'\r', u' ').replace(u'\n', u' '));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
