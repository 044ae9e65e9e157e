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

// A page that is not written: the template named (none: the default page),
// why, and whether the page's directory may be written.
struct Refusal { QString templateName, message; bool writableDirectory = true; };

bool WriteFile(const QString& path, const QByteArray& bytes, mode_t mode = 0600)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && ::chmod(qPrintable(path), mode) == 0;
}

}  // namespace

Q_DECLARE_METATYPE(Refusal)

// Pages written into a fresh directory, from the default line or from the
// template "page.tpl" beside them.
class TestPageFile : public QObject {
    Q_OBJECT

    QString Path(const QString& name = kPageFileName) const { return dir_->filePath(name); }
    PageContent Content(const QString& name = {}) const
    {
        return {name.isEmpty(), name.isEmpty() ? QString() : Path(name), u"1.2.3.4"_s, u"D"_s, u"下午"_s};
    }

private slots:
    void init() { dir_.emplace(); }

    void written_data()
    {
        QTest::addColumn<QByteArray>("templateBytes");  // null: the default page
        QTest::addColumn<QByteArray>("page");
        QTest::newRow("default page") << QByteArray()
                                      << "<html><body><center><b>1.2.3.4</b><br>D \xE4\xB8\x8B\xE5\x8D\x88</center>"
                                         "</body></html>\r\n"_ba;
        // Each tag as often as it stands, only in upper case; the last line without its break.
        QTest::newRow("tags") << "<IP><IP> <DATE>-<DATE>\r\n<TIME>\r\n<ip><Date><time>"_ba
                              << "1.2.3.41.2.3.4 D-D\r\n\xE4\xB8\x8B\xE5\x8D\x88\r\n<ip><Date><time>\r\n\r\n"_ba;
        QTest::newRow("line ends, empty lines") << "a\r\n\nb\r\rc\n\n"_ba << "a\r\n\r\nb\r\n\r\nc\r\n\r\n\r\n"_ba;
        QTest::newRow("empty template") << ""_ba << "\r\n"_ba;
        QTest::newRow("UTF-8") << "caf\xC3\xA9 \xE2\x82\xAC"_ba << "caf\xC3\xA9 \xE2\x82\xAC\r\n\r\n"_ba;
        QTest::newRow("Windows-1252") << "caf\xE9 \x80"_ba << "caf\xC3\xA9 \xE2\x82\xAC\r\n\r\n"_ba;
    }

    // A new page is readable by all.
    void written()
    {
        QFETCH(QByteArray, templateBytes);
        const PageContent content = Content(templateBytes.isNull() ? QString() : u"page.tpl"_s);
        QVERIFY(templateBytes.isNull() || WriteFile(content.templatePath, templateBytes));
        QCOMPARE(CreatePageFile(content, Path()), std::nullopt);
        QTEST(ReadFile(Path()), "page");
        // The "user" bits are the owner's: the test owns the file.
        QCOMPARE(QFile::permissions(Path()), QFile::Permissions(0x6644));  // rw-r--r--
    }

    // In turn: "<DATE>" in the address is replaced, "<IP>" in the date is not.
    void tagsReplacedInTurn()
    {
        QCOMPARE(FillTemplate(u"<IP>|<DATE>"_s, {false, {}, u"x<DATE>"_s, u"<IP>y"_s, {}}), u"x<IP>y|<IP>y\r\n"_s);
    }

    void refused_data()
    {
        QTest::addColumn<Refusal>("refusal");
        const auto error = [](int e) { return QString::fromLocal8Bit(std::strerror(e)) + u" - %1"_s.arg(e); };
        QTest::newRow("missing template") << Refusal{"missing.tpl", update_text::kCantFindSourceFile};
        QTest::newRow("hidden template") << Refusal{".tpl", update_text::kCantFindSourceFile};
        QTest::newRow("template is a directory") << Refusal{"folder", update_text::kCantFindSourceFile};
        QTest::newRow("unreadable template") << Refusal{"page.tpl", error(EACCES)};
        QTest::newRow("page directory not writable") << Refusal{{}, error(EACCES), false};
    }

    // As an ordinary user, whom file modes hold back. The old page stays as it
    // was (though anybody may write it), and nothing is left beside it.
    void refused()
    {
        QFETCH(Refusal, refusal);
        QVERIFY(WriteFile(Path(u".tpl"_s), "<IP>", 0644) && WriteFile(Path(u"page.tpl"_s), "<IP>", 0));
        QVERIFY(WriteFile(Path(), "old", 0666) && QDir(dir_->path()).mkdir(u"folder"_s));
        const QStringList before = QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        QVERIFY(::chmod(qPrintable(dir_->path()), refusal.writableDirectory ? 0777 : 0555) == 0);
        const PageContent content = Content(refusal.templateName);
        const auto message = [&] { return CreatePageFile(content, Path()).value_or(UpdateFailure()).message; };
        QVERIFY(RunAsOrdinaryUser([&] { return message() == refusal.message; }));
        QVERIFY(::chmod(qPrintable(dir_->path()), 0700) == 0);
        QCOMPARE(ReadFile(Path()), "old"_ba);
        QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
    }

    // An old page keeps its mode, and a link in the page's place is
    // replaced, not written through.
    void modesAndLinks()
    {
        QVERIFY(WriteFile(Path(), "old", 0600));
        QCOMPARE(CreatePageFile(Content(), Path()), std::nullopt);
        QCOMPARE(QFile::permissions(Path()), QFile::Permissions(0x6600));  // rw-------
        QVERIFY(WriteFile(Path(u"other"_s), "other") && QFile::remove(Path()) && QFile::link(Path(u"other"_s), Path()));
        QCOMPARE(CreatePageFile(Content(), Path()), std::nullopt);
        QVERIFY(!QFileInfo(Path()).isSymLink());
        QCOMPARE(ReadFile(Path(u"other"_s)), "other"_ba);
    }

private:
    std::optional<QTemporaryDir> dir_;
};

QTEST_GUILESS_MAIN(TestPageFile)
#include "test_page_file.moc"
