#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <thread>

#include "settings/atomic_file.h"
#include "support/stop_and_join.h"
#include "support/test_servers.h"
#include "update/ftp_upload.h"

using namespace quendrel;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

QByteArray ReadFile(const QString& path)
{
    return ReadWholeFile(path).value_or(QByteArray());
}

// Every file named name anywhere below root.
QStringList FilesNamed(const QString& root, const QString& name)
{
    QStringList found;
    QDirIterator it(root, {name}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

std::optional<UpdateFailure> Upload(const FtpTarget& target, QStringList& texts)
{
    return UploadPageFile(target, [&texts](const QString& t) { texts << t; }, {});
}

}  // namespace

class TestFtpUpload : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void uploadsTheExactBytes_data();
    void uploadsTheExactBytes();
    void failures_data();
    void failures();
    void stopEndsASilentServer();
    void commandsSent_data();
    void commandsSent();
    void unansweredQuitHoldsNothingUp();
    void directoryUrl_data();
    void directoryUrl();

private:
    FtpTarget Target(const QString& remotePath, const QString& destFilename) const;

    test::TestServers servers_;
    QTemporaryDir local_;
    QString pagePath_;
    QByteArray page_;
};

void TestFtpUpload::initTestCase()
{
    QVERIFY(servers_.Start());
    QVERIFY(local_.isValid());
    // Line ends of every kind and bytes no text has: a text-mode transfer would change them.
    page_ = "<html>\r\nline\nline\r\0\xFF\xFE</html>\r\n"_ba;
    for (int i = 0; i < 200000; ++i)
        page_ += char(i * 7919 % 251);
    pagePath_ = local_.filePath(u"temp.htm"_s);
    QVERIFY(WriteFileAtomically(pagePath_, page_));
    QVERIFY(WriteFileAtomically(servers_.FtpRoot() + u"/site/plain-file"_s, "x"));
}

FtpTarget TestFtpUpload::Target(const QString& remotePath, const QString& destFilename) const
{
    return {u"127.0.0.1"_s, servers_.FtpPort(), u"writer"_s, u"secret"_s, remotePath, false, pagePath_, destFilename};
}

void TestFtpUpload::uploadsTheExactBytes_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<QString>("remotePath");
    QTest::addColumn<QString>("destFilename");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("existing");  // a longer file stands there before
    QTest::addColumn<QByteArray>("proxyVariable");  // set to a proxy nobody answers

    QTest::newRow("passive") << false << "site" << "index.html" << "site/index.html" << false << ""_ba;
    QTest::newRow("active") << true << "site" << "index.html" << "site/index.html" << false << ""_ba;
    QTest::newRow("replaces") << false << "site" << "index.html" << "site/index.html" << true << ""_ba;
    QTest::newRow("active, replaces") << true << "site" << "index.html" << "site/index.html" << true << ""_ba;
    QTest::newRow("login directory") << false << "" << "index.html" << "index.html" << false << ""_ba;
    QTest::newRow("relative with blank") << false << "site/nested dir/deeper" << "a.htm"
                                         << "site/nested dir/deeper/a.htm" << false << ""_ba;
    QTest::newRow("active, relative with blank") << true << "site/nested dir" << "a.htm" << "site/nested dir/a.htm"
                                                 << true << ""_ba;
    QTest::newRow("absolute") << false << "/site/nested dir" << "b.htm" << "site/nested dir/b.htm" << false << ""_ba;
    QTest::newRow("trailing slash") << false << "site/" << "c.htm" << "site/c.htm" << false << ""_ba;
    QTest::newRow("blank and hash in name") << false << "site" << "my page #1.html" << "site/my page #1.html" << false
                                            << ""_ba;
    QTest::newRow("percent in name") << false << "site" << "100%.html" << "site/100%.html" << false << ""_ba;
    QTest::newRow("non-ASCII name") << false << "site" << u"Zürich.htm"_s << u"site/Zürich.htm"_s << false << ""_ba;
    QTest::newRow("ftp_proxy") << false << "site" << "p.htm" << "site/p.htm" << false << "ftp_proxy"_ba;
    QTest::newRow("all_proxy") << true << "site" << "p.htm" << "site/p.htm" << false << "all_proxy"_ba;
}

// Twice each: the second upload replaces the first. With a proxy variable set,
// the upload still goes straight to the server.
void TestFtpUpload::uploadsTheExactBytes()
{
    QFETCH(bool, active);
    QFETCH(QString, remotePath);
    QFETCH(QString, destFilename);
    QFETCH(QString, stored);
    QFETCH(bool, existing);
    QFETCH(QByteArray, proxyVariable);
    const QString path = servers_.FtpRoot() + u'/' + stored;
    if (existing)
        QVERIFY(WriteFileAtomically(path, QByteArray(page_.size() * 2, 'o')));
    FtpTarget target = Target(remotePath, destFilename);
    target.active = active;
    if (!proxyVariable.isEmpty())
        qputenv(proxyVariable.constData(), "http://127.0.0.1:1");
    const auto restore = qScopeGuard([&] {
        if (!proxyVariable.isEmpty())
            qunsetenv(proxyVariable.constData());
        QFile::remove(path);
    });
    for (int round = 0; round < 2; ++round) {
        QStringList texts;
        const std::optional<UpdateFailure> failure = Upload(target, texts);
        QVERIFY2(!failure, qPrintable(failure ? failure->message : QString()));
        QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(u"127.0.0.1"_s), kUploading, kClosing}));
        QVERIFY(ReadFile(path) == page_);
    }
}

void TestFtpUpload::failures_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("port");  // 0 and up as it is; -1 the FTP server's
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("remotePath");
    QTest::addColumn<QString>("localFile");  // relative to the test's directory
    QTest::addColumn<QString>("message");

    const QString local = u"127.0.0.1"_s;
    const QString noConnection = UnableToConnectTo(local);
    QTest::newRow("missing remote directory") << local << -1 << "writer" << "site/missing" << "temp.htm"
                                              << kUnableToSetRemoteDirectory;
    QTest::newRow("remote path is a file") << local << -1 << "writer" << "site/plain-file" << "temp.htm"
                                           << kUnableToSetRemoteDirectory;
    QTest::newRow("wrong password") << local << -1 << "writer:wrong" << "site" << "temp.htm" << noConnection;
    QTest::newRow("refused port") << local << 1 << "writer" << "site" << "temp.htm" << noConnection;
    QTest::newRow("port 0") << local << 0 << "writer" << "site" << "temp.htm" << noConnection;
    QTest::newRow("not a host name") << "bad host/x" << -1 << "writer" << "site" << "temp.htm"
                                     << "Unable to Connect to bad host/x";
    QTest::newRow("unresolvable host") << "nonexistent.invalid" << -1 << "writer" << "site" << "temp.htm"
                                       << "Unable to Connect to nonexistent.invalid";
    QTest::newRow("read-only user") << local << -1 << "reader" << "site" << "temp.htm" << kUnableToUpload;
    QTest::newRow("missing local file") << local << -1 << "writer" << "site" << "missing.htm" << kUnableToUpload;
    QTest::newRow("local file is a directory") << local << -1 << "writer" << "site" << "." << kUnableToUpload;
}

void TestFtpUpload::failures()
{
    QFETCH(QString, server);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, remotePath);
    QFETCH(QString, localFile);
    QFETCH(QString, message);
    const QString destFilename = u"failed.htm"_s;
    FtpTarget target = Target(remotePath, destFilename);
    target.server = server;
    target.port = port < 0 ? servers_.FtpPort() : port;
    target.username = user.section(u':', 0, 0);
    if (user.contains(u':'))
        target.password = user.section(u':', 1);
    target.localFile = local_.filePath(localFile);
    QStringList texts;
    const std::optional<UpdateFailure> failure = Upload(target, texts);
    QVERIFY(failure);
    QCOMPARE(failure->message, message);
    QVERIFY(!failure->cancelled);
    QStringList expected{kEstablishing, ConnectingTo(server)};
    if (message == kUnableToUpload)
        expected << kUploading;
    QCOMPARE(texts, expected);
    // Nothing stored, not even an empty file.
    QCOMPARE(FilesNamed(servers_.FtpRoot(), destFilename), QStringList());
}

// The server never greets; without the stop it waits for its 60 s limit.
void TestFtpUpload::stopEndsASilentServer()
{
    FtpTarget target = Target(u"site"_s, u"silent.htm"_s);
    target.port = servers_.SilentPort();
    QStringList texts;
    std::optional<UpdateFailure> failure;
    std::jthread worker([&](std::stop_token stop) {
        failure = UploadPageFile(target, [&texts](const QString& t) { texts << t; }, stop);
    });
    QUENDREL_VERIFY_STOPS_PROMPTLY(worker);
    QVERIFY(failure);
    QVERIFY(failure->cancelled);
    QCOMPARE(texts, QStringList({kEstablishing, ConnectingTo(u"127.0.0.1"_s)}));
}

void TestFtpUpload::commandsSent_data()
{
    QTest::addColumn<QString>("remotePath");
    QTest::addColumn<QStringList>("directoryCommands");

    QTest::newRow("login directory") << "" << QStringList();
    QTest::newRow("whole path at once") << "site/nested dir/deeper" << QStringList{u"CWD site/nested dir/deeper"_s};
    QTest::newRow("absolute") << "/site" << QStringList{u"CWD /site"_s};
    // Dot segments are the server's to resolve (its login directory need
    // not be its root), not folded away on the way.
    QTest::newRow("parent") << ".." << QStringList{u"CWD .."_s};
    QTest::newRow("dots inside") << "site/./nested dir/.." << QStringList{u"CWD site/./nested dir/.."_s};
}

// One login, one CWD of the whole path, one STOR, then QUIT.
void TestFtpUpload::commandsSent()
{
    QFETCH(QString, remotePath);
    QFETCH(QStringList, directoryCommands);
    QFile::remove(servers_.FtpCommandLog());
    QStringList texts;
    QCOMPARE(Upload(Target(remotePath, u"cmd.htm"_s), texts), std::nullopt);
    const QStringList commands = QString::fromUtf8(ReadFile(servers_.FtpCommandLog())).split(u'\n', Qt::SkipEmptyParts);
    const QStringList expected = QStringList{u"USER writer"_s} + directoryCommands + QStringList{u"STOR cmd.htm"_s, u"QUIT"_s};
    QCOMPARE(commands.filter(QRegularExpression(u"^(USER|CWD|STOR|QUIT)"_s)), expected);
}

// A server that never answers QUIT: a failed CWD still ends at once, and a
// stop request ends the wait after a stored page.
void TestFtpUpload::unansweredQuitHoldsNothingUp()
{
    FtpTarget target = Target(u"site/none"_s, u"mute.htm"_s);
    target.username = u"mute"_s;
    QStringList texts;
    QElapsedTimer timer;
    timer.start();
    const std::optional<UpdateFailure> failure = Upload(target, texts);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(failure ? failure->message : QString(), kUnableToSetRemoteDirectory);

    target.remotePath = u"site"_s;
    const QString stored = servers_.FtpRoot() + u"/site/mute.htm"_s;
    std::optional<UpdateFailure> outcome;
    std::jthread worker([&](std::stop_token stop) { outcome = UploadPageFile(target, [](const QString&) {}, stop); });
    QTRY_VERIFY(ReadFile(stored) == page_);  // then it waits for QUIT's answer
    QUENDREL_VERIFY_STOPS_PROMPTLY(worker);
    QVERIFY(outcome && outcome->cancelled);
}

void TestFtpUpload::directoryUrl_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("remotePath");
    QTest::addColumn<QString>("url");  // empty: none

    QTest::newRow("login directory") << "ftp.example.org" << 21 << "" << "ftp://ftp.example.org:21/";
    QTest::newRow("relative, one piece") << "h" << 2121 << "site/nested dir" << "ftp://h:2121/site%2Fnested%20dir/";
    QTest::newRow("absolute") << "h" << 21 << "/site" << "ftp://h:21/%2Fsite/";
    QTest::newRow("reserved characters") << "h" << 21 << "100% a#b?c;d" << "ftp://h:21/100%25%20a%23b%3Fc%3Bd/";
    QTest::newRow("IPv6") << "::1" << 2121 << "" << "ftp://[::1]:2121/";
    QTest::newRow("IPv6 in brackets") << "[::1]" << 2121 << "x" << "ftp://[::1]:2121/x/";
    QTest::newRow("port 0") << "h" << 0 << "" << "";
    QTest::newRow("port 65536") << "h" << 65536 << "" << "";
    QTest::newRow("blank in host") << "bad host/x" << 21 << "" << "";
    QTest::newRow("port in host") << "h:2121" << 21 << "" << "";
}

void TestFtpUpload::directoryUrl()
{
    QFETCH(QString, server);
    QFETCH(int, port);
    QFETCH(QString, remotePath);
    QFETCH(QString, url);
    const std::optional<std::string> found = FtpDirectoryUrl(server, port, remotePath);
    // libcurl gives escapes back in lower case; they mean the same.
    QCOMPARE(found ? QString::fromStdString(*found).toLower() : QString(), url.toLower());
}

QTEST_GUILESS_MAIN(TestFtpUpload)
#include "test_ftp_upload.moc"
