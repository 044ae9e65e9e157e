#include <QDirIterator>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include "support/stop_and_join.h"
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

// A failed upload: its user, remote path, local file (in the test's directory) and message.
struct Failure { QString user, remotePath, localFile, message; };

}  // namespace

Q_DECLARE_METATYPE(Upload)
Q_DECLARE_METATYPE(Failure)

// Uploads to the local FTP server. A proxy that nobody answers stands in the
// environment throughout: through it, libcurl would turn the upload into an
// HTTP PUT.
class TestFtpUpload : public QObject {
    Q_OBJECT

    FtpTarget Target(const QString& remotePath, const QString& destFilename, const QString& user = u"writer"_s) const
    {
        return {u"127.0.0.1"_s, servers_.FtpPort(), user, u"secret"_s, remotePath, false, pagePath_, destFilename};
    }

private slots:
    void initTestCase()
    {
        qputenv("ftp_proxy", "http://127.0.0.1:1");
        QVERIFY(servers_.Start() && local_.isValid());
        // Line ends of every kind and bytes no text has: a text-mode transfer would change them.
        page_ = "<html>\r\nline\nline\r\0\xFF\xFE</html>\r\n"_ba.repeated(8000);
        QFile page(pagePath_ = local_.filePath(u"temp.htm"_s));
        QVERIFY(page.open(QIODevice::WriteOnly) && page.write(page_) == page_.size());
    }

    void uploads_data()
    {
        QTest::addColumn<Upload>("upload");
        QTest::newRow("active, login directory") << Upload{true, "", "index.html", ""};
        QTest::newRow("active, blanks and hash") << Upload{true, "site/nested dir", "my #1.htm", "site/nested dir/"};
        QTest::newRow("absolute, percent in name")
            << Upload{false, "/site/nested dir/deeper", "100%.htm", "site/nested dir/deeper/"};
        QTest::newRow("trailing slash, non-ASCII name") << Upload{false, "site/", "Zürich.htm", "site/"};
        // Dot segments are the server's to resolve (its login directory need
        // not be its root), not folded away on the way.
        QTest::newRow("parent") << Upload{false, "..", "d.htm", ""};
        QTest::newRow("dots inside") << Upload{false, "site/./nested dir/..", "e.htm", "site/"};
    }

    // Twice: a new file, then over a longer one, replaced whole. Each time one
    // login, one CWD of the whole path, one binary STOR in the mode asked for, QUIT.
    void uploads()
    {
        QFETCH(Upload, upload);
        const QString path = servers_.FtpRoot() + u'/' + upload.storedIn + upload.destFilename;
        FtpTarget target = Target(upload.remotePath, upload.destFilename);
        target.active = upload.active;
        QFile::remove(servers_.FtpCommandLog());
        for (int round = 0; round < 2; ++round) {
            QStringList texts;
            QCOMPARE(UploadPageFile(target, [&](const QString& text) { texts << text; }, {}), std::nullopt);
            QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(u"127.0.0.1"_s), kUploading, kClosing}));
            QVERIFY(ReadFile(path) == page_);
            QVERIFY(QFile::resize(path, page_.size() * 2));
        }
        const QString cwd = upload.remotePath.isEmpty() ? QString() : u"CWD "_s + upload.remotePath + u'\n';
        const QString mode = upload.active ? u"EPRT\n"_s : u"EPSV\n"_s;
        const QString session = u"USER writer\n"_s + cwd + mode + "TYPE I\nSTOR " + upload.destFilename + "\nQUIT\n";
        // The password and PWD aside; EPRT without its port.
        static const QRegularExpression others(u"(?m)^(PASS|PWD).*\\n|(?<=^EPRT) .*"_s);
        QCOMPARE(QString::fromUtf8(ReadFile(servers_.FtpCommandLog())).remove(others), session + session);
    }

    void failures_data()
    {
        QTest::addColumn<Failure>("failure");
        // Dropped at once, not held up by the wait for QUIT's answer.
        QTest::newRow("missing directory, QUIT unanswered")
            << Failure{"mute", "site/none", "temp.htm", kUnableToSetRemoteDirectory};
        // Opened before STOR: nothing is stored, not even an empty file.
        QTest::newRow("missing local file") << Failure{"writer", "site", "missing.htm", kUnableToUpload};
        QTest::newRow("local file is a directory") << Failure{"writer", "site", ".", kUnableToUpload};
    }

    void failures()
    {
        QFETCH(Failure, failure);
        FtpTarget target = Target(failure.remotePath, u"failed.htm"_s, failure.user);
        target.localFile = local_.filePath(failure.localFile);
        QStringList texts;
        const QDeadlineTimer deadline(10000);
        const auto result = UploadPageFile(target, [&](const QString& text) { texts << text; }, {});
        QVERIFY(!deadline.hasExpired());
        QCOMPARE(result ? result->message : QString(), failure.message);
        QCOMPARE(texts.mid(2), failure.message == kUnableToUpload ? QStringList{kUploading} : QStringList());
        const QDir::Filters files = QDir::Files | QDir::Hidden;
        QVERIFY(!QDirIterator(servers_.FtpRoot(), {u"failed.htm"_s}, files, QDirIterator::Subdirectories).hasNext());
    }

    // A server that never greets, and one that never answers QUIT after the
    // upload: without the stop each waits for the 60 s limit.
    void stopEndsAWait()
    {
        for (const bool greets : {false, true}) {
            FtpTarget target = Target(u"site"_s, u"waits.htm"_s, u"mute"_s);
            target.port = greets ? target.port : servers_.SilentPort();
            QFile::remove(servers_.FtpCommandLog());
            std::optional<UpdateFailure> failure;
            std::jthread worker([&](std::stop_token stop) { failure = UploadPageFile(target, [](auto&&) {}, stop); });
            QUENDREL_VERIFY_STOPS_PROMPTLY(worker, greets ? ReadFile(servers_.FtpCommandLog()).endsWith("QUIT\n")
                                                          : servers_.SilentPortConnected());
            QVERIFY(failure && failure->cancelled);
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
    QTemporaryDir local_;
    QString pagePath_;
    QByteArray page_;
};

QTEST_GUILESS_MAIN(TestFtpUpload)
#include "test_ftp_upload.moc"
