#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "support/test_files.h"
#include "update/page_file.h"

using namespace quendrel;
using namespace quendrel::test;
using namespace Qt::StringLiterals;

namespace {

// A page that is not written: the template named (none: the default page;
// "-": no name given), the page's name, and why.
struct Refusal { QString templateName, message, pageName = kPageFileName; bool writableDirectory = true; };

bool WriteFile(const QString& path, const QByteArray& bytes, mode_t mode = 0600)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && ::chmod(qPrintable(path), mode) == 0;
}

mode_t Mode(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

}  // namespace

Q_DECLARE_METATYPE(Refusal)

// Pages written into a fresh directory, from the default line or from the
// template "page.tpl" beside them.
class TestPageFile : public QObject {
    Q_OBJECT

    QString Path(const QString& name) const { return dir_->filePath(name); }
    PageContent Content(const QString& name = {}) const
    {
        return {name.isEmpty(), name.isEmpty() ? QString() : Path(name), u"1.2.3.4"_s, u"D"_s, u"下午"_s};
    }
    QStringList Listing() const { return QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System); }
    QString Create(const PageContent& content, const QString& page = kPageFileName) const
    {
        return CreatePageFile(content, Path(page)).value_or(UpdateFailure()).message;
    }

private slots:
    void init() { dir_.emplace(); }

    void written_data()
    {
        QTest::addColumn<QByteArray>("templateBytes");  // null: the default page
        QTest::addColumn<QByteArray>("page");
        QTest::newRow("default page") << QByteArray()
                                      << "<html><body><center><b>1.2.3.4</b><br>D \xE4\xB8\x8B\xE5\x8D\x88</center></body></html>\r\n"_ba;
        QTest::newRow("tags") << "<IP> <DATE>\r\n<TIME>\r\n"_ba << "1.2.3.4 D\r\n\xE4\xB8\x8B\xE5\x8D\x88\r\n\r\n"_ba;
        QTest::newRow("line ends, empty lines") << "a\r\n\nb\r\rc\n\n"_ba << "a\r\n\r\nb\r\n\r\nc\r\n\r\n\r\n"_ba;
        QTest::newRow("last line without break") << "a\n<IP>"_ba << "a\r\n1.2.3.4\r\n\r\n"_ba;
        QTest::newRow("empty template") << ""_ba << "\r\n"_ba;
        QTest::newRow("tags in other case kept") << "<ip><Date><time>"_ba << "<ip><Date><time>\r\n\r\n"_ba;
        QTest::newRow("tags as often as they stand") << "<IP><IP>\n<DATE>-<DATE>"_ba << "1.2.3.41.2.3.4\r\nD-D\r\n\r\n"_ba;
        QTest::newRow("UTF-8") << "caf\xC3\xA9 \xE2\x82\xAC"_ba << "caf\xC3\xA9 \xE2\x82\xAC\r\n\r\n"_ba;
        QTest::newRow("Windows-1252") << "caf\xE9 \x80"_ba << "caf\xC3\xA9 \xE2\x82\xAC\r\n\r\n"_ba;
    }

    void written()
    {
        QFETCH(QByteArray, templateBytes);
        const PageContent content = Content(templateBytes.isNull() ? QString() : u"page.tpl"_s);
        QVERIFY(templateBytes.isNull() || WriteFile(content.templatePath, templateBytes));
        QCOMPARE(Create(content), QString());
        QTEST(ReadFile(Path(kPageFileName)), "page");
        QCOMPARE(Listing().size(), templateBytes.isNull() ? 3 : 4);  // ".", "..": nothing left beside the page
    }

    // In turn: "<DATE>" in the address is replaced, "<IP>" in the date is not.
    void tagsReplacedInTurn()
    {
        const PageContent content{false, {}, u"x<DATE>"_s, u"<IP>y"_s, u"t"_s};
        QCOMPARE(FillTemplate(u"<IP>|<DATE>"_s, content), u"x<IP>y|<IP>y\r\n"_s);
    }

    void refused_data()
    {
        QTest::addColumn<Refusal>("refusal");
        const QString notFound = u"Can't find Source File"_s;
        const auto error = [](int number) { return QString::fromLocal8Bit(std::strerror(number)) + u" - %1"_s.arg(number); };
        QTest::newRow("missing template") << Refusal{"missing.tpl", notFound};
        QTest::newRow("hidden template") << Refusal{".tpl", notFound};
        QTest::newRow("template is a directory") << Refusal{"folder", notFound};
        QTest::newRow("no template named") << Refusal{"-", notFound};
        QTest::newRow("unreadable template") << Refusal{"page.tpl", error(EACCES)};
        QTest::newRow("page directory not writable") << Refusal{{}, error(EACCES), kPageFileName, false};
        QTest::newRow("page is a directory") << Refusal{{}, error(EISDIR), "folder"};
    }

    // As an ordinary user, whom file modes hold back. The old page stays as it
    // was (though anybody may write it), and nothing is left beside it.
    void refused()
    {
        QFETCH(Refusal, refusal);
        QVERIFY(WriteFile(Path(u".tpl"_s), "<IP>") && WriteFile(Path(u"page.tpl"_s), "<IP>", 0));
        QVERIFY(WriteFile(Path(kPageFileName), "old", 0666) && QDir(dir_->path()).mkdir(u"folder"_s));
        const QStringList before = Listing();
        PageContent content = Content(refusal.templateName == u"-"_s ? QString() : refusal.templateName);
        content.defaultPage = refusal.templateName.isEmpty();
        QVERIFY(::chmod(qPrintable(dir_->path()), refusal.writableDirectory ? 0777 : 0555) == 0);
        QVERIFY(RunAsOrdinaryUser([&] { return Create(content, refusal.pageName) == refusal.message; }));
        QVERIFY(::chmod(qPrintable(dir_->path()), 0700) == 0);
        QCOMPARE(ReadFile(Path(kPageFileName)), "old"_ba);
        QCOMPARE(Listing(), before);
    }

    // A new page is readable by all, an old one keeps its mode, and a link
    // in the page's place is replaced, not written through.
    void modesAndLinks()
    {
        const QString page = Path(kPageFileName);
        QCOMPARE(Create(Content()), QString());
        QCOMPARE(Mode(page), mode_t(S_IFREG | 0644));
        QVERIFY(::chmod(qPrintable(page), 0600) == 0);
        QCOMPARE(Create(Content()), QString());
        QCOMPARE(Mode(page), mode_t(S_IFREG | 0600));
        QVERIFY(WriteFile(Path(u"other"_s), "other") && QFile::remove(page) && QFile::link(Path(u"other"_s), page));
        QCOMPARE(Create(Content()), QString());
        QVERIFY(S_ISREG(Mode(page)));
        QCOMPARE(ReadFile(Path(u"other"_s)), "other"_ba);
    }

private:
    std::optional<QTemporaryDir> dir_;
};

QTEST_GUILESS_MAIN(TestPageFile)
#include "test_page_file.moc"
