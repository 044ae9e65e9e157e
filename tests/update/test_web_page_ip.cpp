#include <QElapsedTimer>
#include <QTest>
#include <QUrl>

#include <chrono>
#include <thread>

#include "support/stop_and_join.h"
#include "support/test_servers.h"
#include "update/web_page_ip.h"

using namespace quendrel;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

// A page body for /echo, percent-encoded so that any bytes come back as they are.
QString EchoPath(const QByteArray& body, int status = 200)
{
    return QStringLiteral("/echo?status=%1&body=").arg(status) + QString::fromLatin1(body.toPercentEncoding());
}

}  // namespace

class TestWebPageIP : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsThePage_data();
    void readsThePage();
    void noResponseIsUnableToConnect_data();
    void noResponseIsUnableToConnect();
    void redirectionsThatLeadNowhereAreUnableToConnect_data();
    void redirectionsThatLeadNowhereAreUnableToConnect();
    void stopEndsAWaitingRequest_data();
    void stopEndsAWaitingRequest();
    void cutsBetweenTheMarkers_data();
    void cutsBetweenTheMarkers();

private:
    test::TestServers servers_;
};

void TestWebPageIP::initTestCase()
{
    // Proxies come from the environment; the local servers are reached directly.
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    QVERIFY(servers_.Start());
}

void TestWebPageIP::readsThePage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("parsed");

    QTest::newRow("IP page") << "/ip" << "<ip>" << "</ip>" << "203.0.113.7" << true;
    QTest::newRow("user agent") << "/headers" << "<ua>" << "</ua>" << "Quendrel" << true;
    QTest::newRow("Cache-Control") << "/headers" << "<cc>" << "</cc>" << "no-cache" << true;
    QTest::newRow("Pragma") << "/headers" << "<pragma>" << "</pragma>" << "no-cache" << true;
    QTest::newRow("redirect followed") << "/redirect?to=/ip" << "<ip>" << "</ip>" << "203.0.113.7" << true;
    QTest::newRow("404 with markers") << EchoPath("<ip>192.0.2.1</ip>", 404) << "<ip>" << "</ip>" << "192.0.2.1"
                                      << true;
    QTest::newRow("exactly 2048 bytes") << "/exact2048" << "<ip>" << "</ip>" << "192.0.2.48" << true;
    QTest::newRow("chunked") << "/chunked?body=a%3Cip%3E%20192.0.2.3%20%3C%2Fip%3Eb" << "<ip>" << "</ip>" << "192.0.2.3"
                             << true;
    QTest::newRow("closed mid-body") << "/close-mid-body" << "<ip>" << "</ip>" << "198.51.100.4" << true;
    QTest::newRow("endless, cut at the cap") << "/endless?end=1" << "<ip>" << "</ip>" << "192.0.2.99" << true;
    QTest::newRow("UTF-8 page") << EchoPath("\xC3\xA9t\xC3\xA9: 192.0.2.5 \xE2\x82\xAC") << u"été:"_s << u"€"_s
                                << "192.0.2.5" << true;
    QTest::newRow("Windows-1252 page") << EchoPath("\xE9t\xE9: 192.0.2.6 \x80") << u"été:"_s << u"€"_s << "192.0.2.6"
                                       << true;
    QTest::newRow("404 without markers") << "/no-such-page" << "<ip>" << "</ip>" << "" << false;
    QTest::newRow("empty page") << EchoPath("") << "<ip>" << "</ip>" << "" << false;
    QTest::newRow("start only") << EchoPath("<ip>192.0.2.1") << "<ip>" << "</ip>" << "" << false;
    QTest::newRow("end only") << EchoPath("192.0.2.1</ip>") << "<ip>" << "</ip>" << "" << false;
    QTest::newRow("endless without end") << "/endless" << "<ip>" << "</ip>" << "" << false;
    // Cut in the middle of the euro sign's three bytes: still read as UTF-8.
    QTest::newRow("UTF-8 page cut mid-character")
        << "/close-mid-body?body=" + QString::fromLatin1(QByteArray("\xC3\xA9:192.0.2.7x\xE2\x82").toPercentEncoding())
        << u"é:"_s << "x" << "192.0.2.7" << true;
}

void TestWebPageIP::readsThePage()
{
    QFETCH(QString, path);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(bool, parsed);
    const QString url = servers_.HttpUrl(path);
    QStringList texts;
    const TextResult result = GetWebPageIP(url, start, end, [&texts](const QString& t) { texts << t; }, {});
    QTEST(result.text, "address");
    QCOMPARE(result.failure ? result.failure->message : QString(), parsed ? QString() : kUnableToParse);
    QStringList expected{kEstablishing, ConnectingTo(url), kGettingData, kClosing};
    if (parsed)
        expected << kParsing;
    QCOMPARE(texts, expected);
}

void TestWebPageIP::noResponseIsUnableToConnect_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("unresolvable host") << "http://nonexistent.invalid/";
    QTest::newRow("refused port") << "http://127.0.0.1:1/";
    QTest::newRow("malformed") << "http://[127.0.0.1/";
    QTest::newRow("empty") << "";
    QTest::newRow("file scheme") << "file:///etc/passwd";
    QTest::newRow("gopher scheme") << "gopher://x";
    QTest::newRow("ftp scheme") << "ftp://127.0.0.1:1/";
}

void TestWebPageIP::redirectionsThatLeadNowhereAreUnableToConnect_data()
{
    QTest::addColumn<QString>("target");

    QTest::newRow("to a refused port") << "http://127.0.0.1:1/";
    QTest::newRow("to a scheme not followed") << "file:///etc/passwd";
    QTest::newRow("in a loop") << "/redirect";
}

void TestWebPageIP::redirectionsThatLeadNowhereAreUnableToConnect()
{
    QFETCH(QString, target);
    const QString url = servers_.HttpUrl(QStringLiteral("/redirect?to=") + QUrl::toPercentEncoding(target));
    QStringList texts;
    const TextResult result = GetWebPageIP(url, "<", ">", [&texts](const QString& t) { texts << t; }, {});
    QVERIFY(result.failure);
    QCOMPARE(result.failure->message, UnableToConnectTo(url));
    QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(url)}));
}

void TestWebPageIP::noResponseIsUnableToConnect()
{
    QFETCH(QString, url);
    QStringList texts;
    const TextResult result = GetWebPageIP(url, "<", ">", [&texts](const QString& t) { texts << t; }, {});
    QVERIFY(result.failure);
    QCOMPARE(result.failure->message, UnableToConnectTo(url));
    QVERIFY(!result.failure->cancelled);
    QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(url)}));
}

void TestWebPageIP::stopEndsAWaitingRequest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("laterTexts");

    QTest::newRow("no response") << "/hang" << QStringList();
    QTest::newRow("stalled body") << "/stall-after-start" << QStringList({kGettingData});
}

// Without the stop these wait for the 60 s without progress.
void TestWebPageIP::stopEndsAWaitingRequest()
{
    QFETCH(QString, path);
    QFETCH(QStringList, laterTexts);
    const QString url = servers_.HttpUrl(path);
    QStringList texts;
    TextResult result;
    std::jthread worker([&](std::stop_token stop) {
        result = GetWebPageIP(url, "<ip>", "</ip>", [&texts](const QString& t) { texts << t; }, stop);
    });
    QUENDREL_VERIFY_STOPS_PROMPTLY(worker);
    QVERIFY(result.failure);
    QVERIFY(result.failure->cancelled);
    QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(url)}) + laterTexts);
}

void TestWebPageIP::cutsBetweenTheMarkers_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("failure");

    const QString unparsable = kUnableToParse;
    const QString invalid = QStringLiteral("Invalid procedure call or argument - 5");
    QTest::newRow("plain") << "a<ip>1.2.3.4</ip>b" << "<ip>" << "</ip>" << "1.2.3.4" << "";
    QTest::newRow("first start and end") << "<ip>1</ip><ip>2</ip>" << "<ip>" << "</ip>" << "1" << "";
    QTest::newRow("start case differs") << "<IP>1.2.3.4</ip>" << "<ip>" << "</ip>" << "" << unparsable;
    QTest::newRow("end case differs") << "<ip>1.2.3.4</IP>" << "<ip>" << "</ip>" << "" << unparsable;
    QTest::newRow("spaces trimmed") << "<ip>   1.2.3.4  </ip>" << "<ip>" << "</ip>" << "1.2.3.4" << "";
    QTest::newRow("tab and newline kept") << "<ip> \t1.2.3.4\n </ip>" << "<ip>" << "</ip>" << "\t1.2.3.4\n" << "";
    QTest::newRow("adjacent markers") << "<ip></ip>" << "<ip>" << "</ip>" << "" << "";
    QTest::newRow("end before start") << "</ip> 1.2.3.4 <ip>" << "<ip>" << "</ip>" << "" << invalid;
    QTest::newRow("end before and after start") << "</ip><ip>1.2.3.4</ip>" << "<ip>" << "</ip>" << "" << invalid;
    QTest::newRow("end inside start") << "ab1.2.3.4b" << "ab" << "b" << "" << invalid;
    QTest::newRow("same marker twice") << "|1.2.3.4|" << "|" << "|" << "" << invalid;
    QTest::newRow("empty page") << "" << "<ip>" << "</ip>" << "" << unparsable;
    QTest::newRow("non-Latin text") << u"адрес: 1.2.3.4 ✓"_s << u"адрес:"_s << u"✓"_s << "1.2.3.4" << "";
}

void TestWebPageIP::cutsBetweenTheMarkers()
{
    QFETCH(QString, page);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, failure);
    QStringList texts;
    const TextResult result = CutIPAddress(page, start, end, [&texts](const QString& t) { texts << t; });
    QTEST(result.text, "address");
    QCOMPARE(result.failure ? result.failure->message : QString(), failure);
    // "Parsing" once both markers were found, whatever came of it.
    QCOMPARE(texts, failure == kUnableToParse ? QStringList() : QStringList({kParsing}));
}

QTEST_GUILESS_MAIN(TestWebPageIP)
#include "test_web_page_ip.moc"
