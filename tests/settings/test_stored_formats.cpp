#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#include <utime.h>

#include "../support/test_files.h"
#include "common/file_io.h"
#include "settings/autostart_entry.h"
#include "settings/ini_file.h"
#include "settings/ip_web_page_list.h"
#include "settings/radix64.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

// A row of the INI writing table: the file before and after the value is written to the key.
struct IniWrite { QByteArray before; QString value; QByteArray after; QString section = u"A"_s, key = u"K"_s; };

// The files the program keeps: the settings (INI) file, the password in it,
// the list file of IP web pages and the autostart entry.
class TestStoredFormats : public QObject {
    Q_OBJECT

private slots:
    // Section "S", key "K": the value as ReadIniString and as ReadIniInt give it.
    void iniRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("case of names, first duplicate, LF") << "[s]\nk=1\nK=2"_ba << "1" << 1;
        QTest::newRow("blanks, quotes, equals") << " [ S\t] \n \tK \t=  \" a=b \"\t \n"_ba << " a=b " << 0;
        QTest::newRow("mismatched quotes kept") << "[S]\nK=\"v'\n"_ba << "\"v'" << 0;
        QTest::newRow("key only in other sections") << "K=1\n[S]\nA=1\n[A]\nK=2\n[s]\nK=3\n"_ba << "" << 0;
        QTest::newRow("Windows-1252") << "[S]\nK=Z\xFCrich \x80\n"_ba << u"Zürich €"_s << 0;
        QTest::newRow("sign, blanks in quotes, trailing letters") << "[S]\nK=\" +42a5 \""_ba << " +42a5 " << 42;
        QTest::newRow("INT_MIN") << "[S]\nK=-2147483648"_ba << "-2147483648" << INT_MIN;
        QTest::newRow("far above int") << "[S]\nK=99999999999999999999"_ba << "99999999999999999999" << INT_MAX;
    }

    void iniRead()
    {
        QFETCH(QByteArray, file);
        QTEST(IniFile::Parse(file).ReadIniString(u"S"_s, u"K"_s), "text");
        QTEST(IniFile::Parse(file).ReadIniInt(u"S"_s, u"K"_s), "number");
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
        QTest::newRow("UTF-8 name, any case; NUL")
            << IniWrite{"[A]\n\xC3\xA4=1\n"_ba, u"Zü\0€"_s, "[A]\n\xC3\x84=Z\xC3\xBC\0\xE2\x82\xAC\n"_ba, "A", u"Ä"_s};
        QTest::newRow("blanks kept by quotes") << IniWrite{"[A]\n"_ba, " me\t", "[A]\nK=\" me\t\"\n"_ba};
        QTest::newRow("quotes kept by quotes") << IniWrite{"[A]\n"_ba, "'<b>'", "[A]\nK=\"'<b>'\"\n"_ba};
        QTest::newRow("lone quote as it is") << IniWrite{"[A]\n"_ba, "\"", "[A]\nK=\"\n"_ba};
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
    void radix64Decode_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8, \"+\" and \"/\"") << "cOKCrN+/" << u"p€\u07FF"_s;
        QTest::newRow("blanks, line breaks, others skipped") << u" Zm!9v\r\nY€g ==\t"_s << "foob";
        QTest::newRow("pad where data belongs, characters past the last group") << "A===Zm9v====YmF" << "foo";
        QTest::newRow("not UTF-8: Windows-1252") << "cORzc4A=" << u"päss€"_s;
    }

    void radix64Decode()
    {
        QFETCH(QString, value);
        QTEST(Radix64Decode(value), "text");
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
        if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QCOMPARE(QProcess::execute("desktop-file-validate", {path}), 0);
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
    }

private:
    QTemporaryDir home_;
};

QTEST_GUILESS_MAIN(TestStoredFormats)
#include "test_stored_formats.moc"
