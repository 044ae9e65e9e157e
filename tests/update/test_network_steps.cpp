#include <QDeadlineTimer>
#include <QDirIterator>
#include <QTemporaryFile>
#include <QTest>

#include <thread>

#include "support/test_files.h"
#include "support/test_servers.h"
#include "update/curl_handle.h"
#include "update/ftp_upload.h"
#include "update/web_page_ip.h"

using namespace quendrel;
using namespace quendrel::test;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

// An address looked up: the page, what the step makes of it, and the markers
// it looks for. A failure of kNoPage stands for "Unable to Connect to " + url.
struct Lookup { QString url, address = {}, failure = {}, start = u"<ip>"_s, end = u"</ip>"_s; };
const QString kNoPage = u"no page"_s;

// An upload that works; it lands in the FTP root's storedIn ("" or ending in "/").
struct Upload { bool active; QString remotePath, destFilename, storedIn; };

// A failed upload: its remote path, local file and message.
struct Failure { QString remotePath, localFile, message; };

}  // namespace

Q_DECLARE_METATYPE(Lookup)
Q_DECLARE_METATYPE(Upload)
Q_DECLARE_METATYPE(Failure)

// The two steps that go out on the network, against the local HTTP and FTP
// servers: the address from the IP web page (fetched, decoded, cut out; or
// why there is none), and the page's upload.
class TestNetworkSteps : public QObject {
    Q_OBJECT

    // The local server's URL: path, then body percent-encoded (so that any bytes come back as they are).
    QString Url(const char* path, QByteArray body = {}) { return servers_.HttpUrl(path + body.toPercentEncoding()); }
    QString Echo(const QByteArray& body) { return Url("/echo?body=", body); }
    // The page, as user (password "secret"), to the remote path under the name given.
    FtpTarget Target(const QString& user, const QString& remotePath, const QString& name, bool active = false)
    {
        return {u"127.0.0.1"_s, servers_.FtpPort(), user, u"secret"_s, remotePath, active, pageFile_.fileName(), name};
    }

private slots:
    void initTestCase()
    {
        // The local HTTP server is reached directly, whatever proxy the
        // environment names. For FTP, one that nobody answers stands there
        // throughout: through it, libcurl would turn the upload into an HTTP PUT.
        for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        qputenv("ftp_proxy", "http://127.0.0.1:1");
        QVERIFY(servers_.Start());
        // Line ends of every kind and bytes no text has: a text-mode transfer would change them.
        page_ = "<html>\r\nline\nline\r\0\xFF\xFE</html>\r\n"_ba.repeated(8000);
        QVERIFY(pageFile_.open() && pageFile_.write(page_) == page_.size() && pageFile_.flush());
    }

    void webPageIP_data()
    {
        QTest::addColumn<Lookup>("row");
        // Without a body: the request's header lines, after the Host line.
        QTest::newRow("headers sent") << Lookup{Url("/echo"), "Quendrel\nAccept: */*\nCache-Control: no-cache\n"
                                                "Pragma: no-cache", {}, "User-Agent:", "\n\n"};
        QTest::newRow("redirection followed") << Lookup{Url("/redirect?to=/ip"), "203.0.113.7"};
        QTest::newRow("status not examined") << Lookup{Url("/echo?status=404&body=", "<ip>1.2.3.4</ip>"), "1.2.3.4"};
        QTest::newRow("endless, cut at the cap") << Lookup{Url("/endless"), "192.0.2.99"};
        QTest::newRow("empty page") << Lookup{Echo({}), {}, kUnableToParse};
        QTest::newRow("UTF-8") << Lookup{Echo("\xC3\xA9: 192.0.2.5 \xE2\x82\xAC"), "192.0.2.5", {}, "é:", "€"};
        QTest::newRow("Windows-1252") << Lookup{Echo("\xE9: 192.0.2.6 \x80"), "192.0.2.6", {}, "é:", "€"};
        // Closed short of its length, in the middle of the euro sign's three
        // bytes: what came is the page, and still read as UTF-8.
        QTest::newRow("cut mid-character")
            << Lookup{Url("/close-mid-body?body=", "\xC3\xA9:192.0.2.7x\xE2\x82"), "192.0.2.7", {}, "é:", "x"};
        // The first "<ip>" and the first "</ip>", upper case no marker.
        QTest::newRow("first markers, case counts") << Lookup{Echo("<IP>a<ip>b</IP>c</ip><ip>d</ip>"), "b</IP>c"};
        QTest::newRow("only spaces trimmed") << Lookup{Echo("<ip>  \t1.2.3.4\n  </ip>"), "\t1.2.3.4\n"};
        QTest::newRow("adjacent markers") << Lookup{Echo("<ip></ip>"), {}};
        QTest::newRow("end in start") << Lookup{Echo("ab1b"), {}, "Invalid procedure call or argument - 5", "ab", "b"};
        QTest::newRow("refused port") << Lookup{"http://127.0.0.1:1/", {}, kNoPage};
        QTest::newRow("file scheme") << Lookup{"file:///etc/passwd", {}, kNoPage};
        QTest::newRow("redirection to a file") << Lookup{Url("/redirect?to=", "file:///etc/passwd"), {}, kNoPage};
        QTest::newRow("redirection loop") << Lookup{Url("/redirect"), {}, kNoPage};
    }

    void webPageIP()
    {
        QFETCH(Lookup, row);
        QStringList texts;
        const TextResult page = GetWebPageIP(row.url, row.start, row.end, [&](const QString& t) { texts << t; }, {});
        QCOMPARE(page.text, row.address);
        const bool noPage = row.failure == kNoPage;
        QCOMPARE(page.failure ? page.failure->message : QString(), noPage ? UnableToConnectTo(row.url) : row.failure);
        const QStringList all{kEstablishing, ConnectingTo(row.url), kGettingData, kClosing, kParsing};
        // "Parsing" once both markers were found, whatever came of it.
        QCOMPARE(texts, all.first(noPage ? 2 : row.failure == kUnableToParse ? 4 : 5));
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
        QVERIFY(!QDirIterator(servers_.FtpRoot(), {u"failed.htm"_s}, {}, QDirIterator::Subdirectories).hasNext());
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
            QTRY_VERIFY(greets ? ReadFile(servers_.FtpCommandLog()).contains("QUIT") : servers_.SilentPortConnected());
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

QTEST_GUILESS_MAIN(TestNetworkSteps)
#include "test_network_steps.moc"
