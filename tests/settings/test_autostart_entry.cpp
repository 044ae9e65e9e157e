#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "../support/test_files.h"
#include "common/file_io.h"
#include "settings/autostart_entry.h"

using namespace quendrel;
using namespace Qt::StringLiterals;

class TestAutostartEntry : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("HOME", home_.path().toUtf8());  // keeps the real home out of reach
        configHome_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", configHome_->path().toUtf8());
        QTest::failOnWarning(QRegularExpression("."));  // failures must pass unnoticed
    }

    // Exec is quoted for the shell-like splitting (blanks, quotes, "$", "`",
    // backslashes), "%" is doubled, and the whole escaped as a string.
    void entryIsValidWithEscapedExec()
    {
        WriteAutostartEntry("quendrel", QString::fromUtf8("/opt/My \"x\"/$HOME/`id`/a\\b/100%/\t\n/Grüße/q"));
        QCOMPARE(test::ReadFile(EntryPath()).split('\n').value(4),
                 QByteArray(R"(Exec="/opt/My \\"x\\"/\\$HOME/\\`id\\`/a\\\\b/100%%/\t\n/Grüße/q")"));
        if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QSKIP("desktop-file-validate is not installed");
        QCOMPARE(QProcess::execute("desktop-file-validate", {EntryPath()}), 0);
    }

    // Only this program's entry is written (and not when up to date) or
    // deleted, and never through a link.
    void onlyOwnEntryIsWrittenAndDeleted()
    {
        const QString path = EntryPath(), elsewhere = configHome_->filePath("elsewhere");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(elsewhere, path));
        WriteAutostartEntry("quendrel", "/q");
        QVERIFY(!QFileInfo::exists(elsewhere) && QFileInfo(path).isSymLink());
        QCOMPARE(WriteWholeFile(elsewhere, AutostartEntryText("/old")), 0);
        WriteAutostartEntry("quendrel", "/q");
        QCOMPARE(test::ReadFile(elsewhere), AutostartEntryText("/old"));
        QVERIFY(!QFileInfo(path).isSymLink());
        QCOMPARE(test::ReadFile(path), AutostartEntryText("/q"));
        const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
        QFile entry(path);
        QVERIFY(entry.open(QIODevice::ReadOnly) && entry.setFileTime(old, QFileDevice::FileModificationTime));
        WriteAutostartEntry("quendrel", "/q");  // up to date: not rewritten
        QCOMPARE(QFileInfo(path).lastModified(), old);
        DeleteAutostartEntry("quendrel");
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(WriteWholeFile(path, "[Desktop Entry]\n"), 0);
        WriteAutostartEntry("quendrel", "/q");
        DeleteAutostartEntry("quendrel");
        QCOMPARE(test::ReadFile(path), "[Desktop Entry]\n"_ba);
    }

private:
    QTemporaryDir home_;
    std::unique_ptr<QTemporaryDir> configHome_;
    static QString EntryPath() { return AutostartEntryPath("quendrel"); }
};

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "test_autostart_entry.moc"
