#include <QTest>

#include "support/test_servers.h"
#include "update/curl_handle.h"
#include "update/web_page_ip.h"

using namespace quendrel;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

// A row: the page, what the step makes of it, and the markers it looks for.
// A failure of kNoPage stands for "Unable to Connect to " + url.
struct Case { QString url, address = {}, failure = {}, start = u"<ip>"_s, end = u"</ip>"_s; };
const QString kNoPage = u"no page"_s;

}  // namespace

Q_DECLARE_METATYPE(Case)

// The address through the whole step: fetched from the local HTTP server,
// decoded, cut out; or why there is none.
class TestWebPageIP : public QObject {
    Q_OBJECT

    // The local server's URL: path, then body percent-encoded (so that any bytes come back as they are).
    QString Url(const char* path, QByteArray body = {}) { return servers_.HttpUrl(path + body.toPercentEncoding()); }
    QString Echo(const QByteArray& body) { return Url("/echo?body=", body); }

private slots:
    void initTestCase()
    {
        // Proxies come from the environment; the local servers are reached directly.
        qputenv("no_proxy", "*");
        QVERIFY(servers_.Start());
    }

    void getsTheAddress_data()
    {
        QTest::addColumn<Case>("row");
        // Without a body: the request's header lines, after the Host line.
        QTest::newRow("headers sent") << Case{Url("/echo"), "Quendrel\nAccept: */*\nCache-Control: no-cache\n"
                                              "Pragma: no-cache", {}, "User-Agent:", "\n\n"};
        QTest::newRow("redirection followed") << Case{Url("/redirect?to=/ip"), "203.0.113.7"};
        QTest::newRow("status not examined") << Case{Url("/echo?status=404&body=", "<ip>192.0.2.1</ip>"), "192.0.2.1"};
        QTest::newRow("endless, cut at the cap") << Case{Url("/endless"), "192.0.2.99"};
        QTest::newRow("empty page") << Case{Echo({}), {}, kUnableToParse};
        QTest::newRow("UTF-8") << Case{Echo("\xC3\xA9: 192.0.2.5 \xE2\x82\xAC"), "192.0.2.5", {}, "é:", "€"};
        QTest::newRow("Windows-1252") << Case{Echo("\xE9: 192.0.2.6 \x80"), "192.0.2.6", {}, "é:", "€"};
        // Closed short of its length, in the middle of the euro sign's three
        // bytes: what came is the page, and still read as UTF-8.
        QTest::newRow("cut mid-character")
            << Case{Url("/close-mid-body?body=", "\xC3\xA9:192.0.2.7x\xE2\x82"), "192.0.2.7", {}, "é:", "x"};
        // The first "<ip>" and the first "</ip>", upper case no marker.
        QTest::newRow("first markers, case counts") << Case{Echo("<IP>a<ip>b</IP>c</ip><ip>d</ip>"), "b</IP>c"};
        QTest::newRow("only spaces trimmed") << Case{Echo("<ip>  \t1.2.3.4\n  </ip>"), "\t1.2.3.4\n"};
        QTest::newRow("adjacent markers") << Case{Echo("<ip></ip>"), {}};
        QTest::newRow("end in start") << Case{Echo("ab1b"), {}, "Invalid procedure call or argument - 5", "ab", "b"};
        QTest::newRow("refused port") << Case{"http://127.0.0.1:1/", {}, kNoPage};
        QTest::newRow("file scheme") << Case{"file:///etc/passwd", {}, kNoPage};
        QTest::newRow("redirection to a file") << Case{Url("/redirect?to=", "file:///etc/passwd"), {}, kNoPage};
        QTest::newRow("redirection loop") << Case{Url("/redirect"), {}, kNoPage};
    }

    void getsTheAddress()
    {
        QFETCH(Case, row);
        QStringList texts;
        const TextResult page = GetWebPageIP(row.url, row.start, row.end, [&](const QString& t) { texts << t; }, {});
        QCOMPARE(page.text, row.address);
        const bool noPage = row.failure == kNoPage;
        QCOMPARE(page.failure ? page.failure->message : QString(), noPage ? UnableToConnectTo(row.url) : row.failure);
        const QStringList all{kEstablishing, ConnectingTo(row.url), kGettingData, kClosing, kParsing};
        // "Parsing" once both markers were found, whatever came of it.
        QCOMPARE(texts, all.first(noPage ? 2 : row.failure == kUnableToParse ? 4 : 5));
    }

private:
    CurlGlobal curl_;
    test::TestServers servers_;
};

QTEST_GUILESS_MAIN(TestWebPageIP)
#include "test_web_page_ip.moc"
