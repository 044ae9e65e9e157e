#include <QDeadlineTimer>
#include <QDirIterator>
#include <QTemporaryFile>
#include <QTest>

#include <thread>

#include "support/test_files.h"
#include "support/test_servers.h"
#include "update/curl_handle.h"
#include "update/ftp_upload.h"

using namespace quendrel;
using namespace quendrel::test;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

// An upload that works; it lands in the FTP root's storedIn ("" or ending in "/").
struct Upload { bool active; QString remotePath, destFilename, storedIn; };

// A failed upload: its remote path, local file and message.
struct Failure { QString remotePath, localFile, message; };

}  // namespace

Q_DECLARE_METATYPE(Upload)
Q_DECLARE_METATYPE(Failure)

// Uploads to the local FTP server. A proxy that nobody answers stands in the
// environment throughout: through it, libcurl would turn the upload into an
// HTTP PUT.
class TestFtpUpload : public QObject {
    Q_OBJECT

    // The page, as user (password "secret"), to the remote path under the name given.
    FtpTarget Target(const QString& user, const QString& remotePath, const QString& name, bool active = false)
    {
        return {u"127.0.0.1"_s, servers_.FtpPort(), user, u"secret"_s, remotePath, active, pageFile_.fileName(), name};
    }

private slots:
    void initTestCase()
    {
        qputenv("ftp_proxy", "http://127.0.0.1:1");
        QVERIFY(servers_.Start());
        // Line ends of every kind and bytes no text has: a text-mode transfer would change them.
        page_ = "<html>\r\nline\nline\r\0\xFF\xFE</html>\r\n"_ba.repeated(8000);
        QVERIFY(pageFile_.open() && pageFile_.write(page_) == page_.size() && pageFile_.flush());
    }

    void uploads_data()
    {
        QTest::addColumn<Upload>("upload");
        QTest::newRow("active, login directory") << Upload{true, "", "index.html", ""};
        QTest::newRow("active, blanks, hash, trailing slash")
            << Upload{true, "site/nested dir/", "my #1.htm", "site/nested dir/"};
        QTest::newRow("absolute, percent and non-ASCII in name")
            << Upload{false, "/site/nested dir/deeper", "100% Zürich.htm", "site/nested dir/deeper/"};
        // Dot segments are the server's to resolve (its login directory need
        // not be its root), not folded away on the way.
        QTest::newRow("parent") << Upload{false, "..", "d.htm", ""};
    }

    // Over an old, longer file, replaced whole (a new file: stopEndsAWait).
    // One login, one CWD of the whole path, one binary STOR in the mode asked
    // for, QUIT.
    void uploads()
    {
        QFETCH(Upload, upload);
        const QString path = servers_.FtpRoot() + u'/' + upload.storedIn + upload.destFilename;
        QVERIFY(QFile::copy(pageFile_.fileName(), path) && QFile::resize(path, page_.size() * 2));
        QFile::remove(servers_.FtpCommandLog());
        QStringList texts;
        const FtpTarget target = Target(u"writer"_s, upload.remotePath, upload.destFilename, upload.active);
        QCOMPARE(UploadPageFile(target, [&](const QString& text) { texts << text; }, {}), std::nullopt);
        QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(u"127.0.0.1"_s), kUploading, kClosing}));
        QVERIFY(ReadFile(path) == page_);
        const QString cwd = upload.remotePath.isEmpty() ? QString() : u"CWD "_s + upload.remotePath + u'\n';
        const QString mode = upload.active ? u"EPRT\n"_s : u"EPSV\n"_s;
        QCOMPARE(QString::fromUtf8(ReadFile(servers_.FtpCommandLog())),
                 u"USER writer\nPASS\nPWD\n"_s + cwd + mode + "TYPE I\nSTOR " + upload.destFilename + "\nQUIT\n");
    }

    // As "mute", who never gets an answer to QUIT: each failure drops the
    // connection at once, not held up by that wait.
    void failures_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::newRow("missing directory") << Failure{"site/none", pageFile_.fileName(), kUnableToSetRemoteDirectory};
        // Opened before STOR: nothing is stored, not even an empty file.
        QTest::newRow("missing local file") << Failure{"site", "/nonexistent/temp.htm", kUnableToUpload};
        QTest::newRow("local file is a directory") << Failure{"site", "/", kUnableToUpload};
    }

    void failures()
    {
        QFETCH(Failure, failure);
        FtpTarget target = Target(u"mute"_s, failure.remotePath, u"failed.htm"_s);
        target.localFile = failure.localFile;
        QStringList texts;
        const QDeadlineTimer deadline(10000);
        const auto result = UploadPageFile(target, [&](const QString& text) { texts << text; }, {});
        QVERIFY(!deadline.hasExpired());
        QCOMPARE(result ? result->message : QString(), failure.message);
        QCOMPARE(texts.mid(2), failure.message == kUnableToUpload ? QStringList{kUploading} : QStringList());
        const QDirIterator stored(servers_.FtpRoot(), {u"failed.htm"_s}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(!stored.hasNext());
    }

    // A server that never greets, and one that never answers QUIT after the
    // upload: without the stop each waits for the 60 s network limit. The
    // stop is asked for once the worker waits there.
    void stopEndsAWait()
    {
        for (const bool greets : {false, true}) {
            FtpTarget target = Target(u"mute"_s, u"site"_s, u"waits.htm"_s);
            target.port = greets ? target.port : servers_.SilentPort();
            QFile::remove(servers_.FtpCommandLog());
            std::optional<UpdateFailure> failure;
            std::jthread worker([&](std::stop_token stop) { failure = UploadPageFile(target, [](auto&&) {}, stop); });
            QTRY_VERIFY(greets ? ReadFile(servers_.FtpCommandLog()).endsWith("QUIT\n")
                               : servers_.SilentPortConnected());
            const QDeadlineTimer deadline(5000);
            worker.request_stop();
            worker.join();
            QVERIFY(!deadline.hasExpired() && failure && failure->cancelled);
        }
        QVERIFY(ReadFile(servers_.FtpRoot() + u"/site/waits.htm"_s) == page_);
    }

    // A bare IPv6 address goes in brackets; the path is one escaped piece
    // (libcurl writes its escapes in lower case).
    void directoryUrl()
    {
        QCOMPARE(FtpDirectoryUrl(u"::1"_s, 2121, u"a%#?;/b"_s).value_or(""), "ftp://[::1]:2121/a%25%23%3f%3b%2fb/");
    }

private:
    CurlGlobal curl_;
    TestServers servers_;
    QTemporaryFile pageFile_;
    QByteArray page_;
};

QTEST_GUILESS_MAIN(TestFtpUpload)
#include "test_ftp_upload.moc"
