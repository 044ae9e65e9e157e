#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "settings/atomic_file.h"
#include "settings/autostart_entry.h"

using namespace quendrel;

class TestAutostartEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("HOME", home_.path().toUtf8()); }  // keeps the real home out of reach
    void init();
    void entryIsValidWithEscapedExec_data();
    void entryIsValidWithEscapedExec();
    void writeSkipsUnchangedTextAndDeleteRemoves();
    void foreignEntryIsLeftAlone();
    void blockedDirectoryIsSilent();

private:
    QTemporaryDir home_;
    std::unique_ptr<QTemporaryDir> configHome_;
    static QString EntryPath() { return AutostartEntryPath("quendrel"); }
    static QByteArray EntryBytes() { return ReadWholeFile(EntryPath()).value_or("<missing>"); }
};

void TestAutostartEntry::init()
{
    configHome_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", configHome_->path().toUtf8());
    QTest::failOnWarning(QRegularExpression("."));  // failures must pass unnoticed
}

void TestAutostartEntry::entryIsValidWithEscapedExec_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("execLine");
    QTest::newRow("plain") << "/usr/bin/quendrel" << QByteArray(R"(Exec="/usr/bin/quendrel")");
    QTest::newRow("blanks") << "/opt/My Apps/q" << QByteArray(R"(Exec="/opt/My Apps/q")");
    QTest::newRow("quote") << R"(/opt/"x"/q)" << QByteArray(R"(Exec="/opt/\\"x\\"/q")");
    QTest::newRow("shell") << "/opt/$HOME/`id`/q" << QByteArray(R"(Exec="/opt/\\$HOME/\\`id\\`/q")");
    QTest::newRow("backslash") << R"(/opt/a\b/q)" << QByteArray(R"(Exec="/opt/a\\\\b/q")");
    QTest::newRow("percent") << "/opt/100%/q" << QByteArray(R"(Exec="/opt/100%%/q")");
    QTest::newRow("controls") << "/opt/a\tb\nc/q" << QByteArray(R"(Exec="/opt/a\tb\nc/q")");
    QTest::newRow("non-ASCII") << QString::fromUtf8("/opt/Grüße/日本/q") << QByteArray("Exec=\"/opt/Grüße/日本/q\"");
}

void TestAutostartEntry::entryIsValidWithEscapedExec()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, execLine);
    WriteAutostartEntry("quendrel", path);
    QVERIFY(EntryBytes().split('\n').contains(execLine));
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        QSKIP("desktop-file-validate is not installed");
    QCOMPARE(QProcess::execute("desktop-file-validate", {EntryPath()}), 0);
}

void TestAutostartEntry::writeSkipsUnchangedTextAndDeleteRemoves()
{
    DeleteAutostartEntry("quendrel");  // nothing there yet: no complaint
    WriteAutostartEntry("quendrel", "/usr/bin/quendrel");
    QCOMPARE(EntryBytes(), AutostartEntryText("/usr/bin/quendrel"));
    QFile file(EntryPath());
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    file.close();
    WriteAutostartEntry("quendrel", "/usr/bin/quendrel");
    QCOMPARE(QFileInfo(EntryPath()).lastModified(), old);
    WriteAutostartEntry("quendrel", "/opt/quendrel");
    QCOMPARE(EntryBytes(), AutostartEntryText("/opt/quendrel"));
    DeleteAutostartEntry("quendrel");
    QVERIFY(!QFileInfo::exists(EntryPath()));
}

void TestAutostartEntry::foreignEntryIsLeftAlone()
{
    const QByteArray foreign = "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n";
    QVERIFY(QDir().mkpath(QFileInfo(EntryPath()).path()));
    QVERIFY(WriteFileAtomically(EntryPath(), foreign));
    WriteAutostartEntry("quendrel", "/usr/bin/quendrel");
    DeleteAutostartEntry("quendrel");
    QCOMPARE(EntryBytes(), foreign);
}

void TestAutostartEntry::blockedDirectoryIsSilent()
{
    // A file where the directory belongs stops even a privileged user.
    QVERIFY(WriteFileAtomically(configHome_->filePath("autostart"), "x"));
    WriteAutostartEntry("quendrel", "/usr/bin/quendrel");
    QVERIFY(QFileInfo(configHome_->filePath("autostart")).isFile());
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "test_autostart_entry.moc"
