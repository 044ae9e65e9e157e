#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/settings_test_driver.h"
#include "common/file_io.h"
#include "common/program_state.h"
#include "settings/settings_model.h"
#include "support/secure_test_servers.h"
#include "support/test_files.h"
#include "support/test_servers.h"
#include "update/ftp_upload.h"
#include "update/server_key.h"
#include "update/update_inputs.h"

using namespace quendrel;
using namespace quendrel::test;
using namespace quendrel::update_text;
using namespace Qt::StringLiterals;

namespace {

// How the client meets the server: the certificate authority trusted or not; for SFTP, what ~/.ssh holds.
enum class Known { Nothing, Ca, HostKey, OtherHostKey };

// An upload over protocol into remotePath, with serverKey stored and what the client knows; the login by password
// unless byKey (SFTP: ~/.ssh/id_ed25519). message: how it fails ("" for not); offersKey: with the server's key
// offered for trust.
struct Secure {
    TransferProtocol protocol;
    QString remotePath;
    Known known;
    QString serverKey = {};
    QString message = {};
    bool offersKey = false;
    bool byKey = false;
};

}  // namespace

// Uploads over FTP with TLS (explicit and implicit) to a local vsftpd and over SFTP to a local OpenSSH server:
// the page arrives whole, or the old one stays; the server is verified, or trusted by its stored key, and the
// password goes to no server that is not.
class TestSecureUploads : public QObject {
    Q_OBJECT

    SecureTestServers secure_;
    TestServers plain_;
    QTemporaryDir home_;
    QTemporaryDir pageDir_;
    QByteArray page_;
    QString tlsKey_, hostKey_;  // the FTP servers' pin (with its padding) and sshd's fingerprint

    QString PageFile() const { return pageDir_.filePath(u"page.htm"_s); }
    QString SshDir() const { return home_.filePath(u".ssh"_s); }

    // What the client knows, in the environment and in ~/.ssh.
    void Know(Known known, bool byKey)
    {
        QDir(SshDir()).removeRecursively();
        QVERIFY(QDir().mkpath(SshDir()));
        if (known == Known::Ca)
            qputenv("SSL_CERT_FILE", secure_.Path(u"ca.pem"_s).toUtf8());
        else
            qunsetenv("SSL_CERT_FILE");
        QByteArray line = secure_.Text(u"known_hosts"_s).toUtf8();
        if (known == Known::OtherHostKey)  // the client's own key stands in for another host key
            line = line.left(line.indexOf(" ssh-ed25519 ")) + ' ' + ReadFile(secure_.Path(u"client/id_ed25519.pub"_s)).trimmed();
        if (known == Known::HostKey || known == Known::OtherHostKey)
            QVERIFY(!WriteWholeFile(SshDir() + u"/known_hosts"_s, line + '\n'));
        if (byKey) {
            QVERIFY(QFile::copy(secure_.Path(u"client/id_ed25519"_s), SshDir() + u"/id_ed25519"_s));
            QVERIFY(QFile::setPermissions(SshDir() + u"/id_ed25519"_s, QFile::ReadOwner | QFile::WriteOwner));
        }
    }

    // The server that speaks protocol: its port and its log.
    static QString ServerOf(TransferProtocol protocol)
    {
        using enum TransferProtocol;
        return protocol == Sftp ? u"sftp"_s : protocol == FtpImplicitTls ? u"ftps"_s : u"ftpes"_s;
    }

    FtpTarget TargetOf(const Secure& row) const
    {
        const bool sftp = row.protocol == TransferProtocol::Sftp;
        return {u"127.0.0.1"_s, secure_.Port(ServerOf(row.protocol)), sftp ? u"tester"_s : u"anonymous"_s,
                row.byKey ? QString() : u"secret"_s, row.remotePath, false, PageFile(), u"ip.html"_s, row.protocol,
                row.serverKey};
    }

private slots:
    void initTestCase()
    {
        for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY", "SSH_AUTH_SOCK"})
            qunsetenv(name);
        qputenv("ftp_proxy", "http://127.0.0.1:1");
        qputenv("HOME", home_.path().toUtf8());
        QVERIFY(secure_.Start());
        tlsKey_ = secure_.Text(u"tls-key.txt"_s), hostKey_ = secure_.Text(u"host-key.txt"_s);
        QVERIFY(plain_.Start());
        page_ = "<html>\r\n\xFF\xFE\0line\n</html>\r\n"_ba.repeated(5000);
        QVERIFY(!WriteWholeFile(PageFile(), page_));
    }

    void uploads_data()
    {
        QTest::addColumn<Secure>("row");
        using enum TransferProtocol;
        const QString unable = UnableToConnectTo(u"127.0.0.1"_s);
        QTest::newRow("explicit TLS, verified") << Secure{FtpExplicitTls, "site", Known::Ca};
        QTest::newRow("implicit TLS, verified") << Secure{FtpImplicitTls, "site", Known::Ca};
        QTest::newRow("explicit TLS, no authority") << Secure{FtpExplicitTls, "site", Known::Nothing, {}, unable, true};
        QTest::newRow("explicit TLS, trusted key") << Secure{FtpExplicitTls, "site", Known::Nothing, tlsKey_};
        QTest::newRow("implicit TLS, trusted key unpadded") << Secure{FtpImplicitTls, "site", Known::Nothing, tlsKey_.chopped(1)};
        // A trusted key is the only one: the authority's word does not stand in for it.
        QTest::newRow("explicit TLS, another key trusted") << Secure{FtpExplicitTls, "site", Known::Ca, hostKey_, unable, true};
        QTest::newRow("SFTP, known host") << Secure{Sftp, "site", Known::HostKey};
        QTest::newRow("SFTP, key login, absolute path")
            << Secure{Sftp, secure_.Path(u"home/site"_s), Known::HostKey, {}, {}, false, true};
        QTest::newRow("SFTP, unknown host") << Secure{Sftp, "site", Known::Nothing, {}, unable, true};
        QTest::newRow("SFTP, host key changed") << Secure{Sftp, "site", Known::OtherHostKey, {}, unable, true};
        QTest::newRow("SFTP, trusted key") << Secure{Sftp, "site", Known::Nothing, hostKey_};
        QTest::newRow("SFTP, another key trusted") << Secure{Sftp, "site", Known::HostKey, tlsKey_, unable, true};
        QTest::newRow("SFTP, missing directory") << Secure{Sftp, "none", Known::HostKey, {}, kUnableToSetRemoteDirectory};
    }

    // One that works replaces the old, longer page whole and leaves no temporary file; one that fails leaves the
    // old page as it was. A server that is not verified never sees the login: no USER (vsftpd) or authentication
    // (sshd) in its log; over TLS the login always comes after AUTH TLS.
    void uploads()
    {
        QFETCH(Secure, row);
        Know(row.known, row.byKey);
        const QString site = secure_.Path(row.protocol == TransferProtocol::Sftp ? u"home/site"_s : u"ftp/site"_s);
        const QString page = site + u"/ip.html"_s;
        const QByteArray old = page_ + page_;
        QVERIFY(!WriteWholeFile(page, old));
        const QString log = secure_.Path(ServerOf(row.protocol) + u".log"_s);
        const qsizetype logStart = ReadFile(log).size();
        const auto failure = UploadPageFile(TargetOf(row), [](auto&&) {}, {});
        QVERIFY2((failure ? failure->message : QString()) == row.message, failure ? qPrintable(failure->detail) : "");
        const QString offered = row.protocol == TransferProtocol::Sftp ? hostKey_ : tlsKey_.chopped(1);  // no padding
        QCOMPARE(failure ? failure->offeredKey : QString(), row.offersKey ? offered : QString());
        QVERIFY(ReadFile(page) == (row.message.isEmpty() ? page_ : old));
        QVERIFY(!QFile::exists(site + u"/quendrel-upload-ip.html"_s));
        const QString said = QString::fromUtf8(ReadFile(log).mid(logStart));
        if (row.protocol == TransferProtocol::Sftp)
            QCOMPARE(said.contains(u"for tester"_s), !row.offersKey);
        else if (row.offersKey)
            QVERIFY2(!said.contains(u"USER"_s), qPrintable(said));
        else
            QVERIFY2(said.indexOf(u"USER anonymous"_s) > said.indexOf(u"AUTH TLS"_s) || row.protocol == TransferProtocol::FtpImplicitTls,
                     qPrintable(said));
    }

    // A server that offers no TLS is left before the user name goes out.
    void serverWithoutTls()
    {
        QFile::remove(plain_.FtpCommandLog());
        const FtpTarget target{u"127.0.0.1"_s, plain_.FtpPort(), u"writer"_s, u"secret"_s, u"site"_s, false,
                               PageFile(), u"ip.html"_s, TransferProtocol::FtpExplicitTls};
        const auto failure = UploadPageFile(target, [](auto&&) {}, {});
        QCOMPARE(failure ? failure->message : QString(), UnableToConnectTo(u"127.0.0.1"_s));
        const QString said = QString::fromUtf8(ReadFile(plain_.FtpCommandLog()));
        QVERIFY2(said.startsWith(u"AUTH TLS\n"_s) && !said.contains(u"USER"_s) && !said.contains(u"PASS"_s), qPrintable(said));
    }

    // The Test button over SFTP: an unknown host is offered for trust, nothing is stored, and once trusted the
    // login works.
    void testButtonOffersTheKey()
    {
        Know(Known::Nothing, false);
        SettingsModel settings;
        ProgramState state;
        for (const auto& [setting, value] : QList<std::pair<Setting, QVariant>>{{Setting::Server, "127.0.0.1"},
                 {Setting::Port, secure_.Port(u"sftp"_s)}, {Setting::Username, "tester"}, {Setting::Password, "secret"},
                 {Setting::RemotePath, "site"}, {Setting::Protocol, "SFTP"}})
            settings.Set(setting, value);
        SettingsTestDriver driver(settings, state, pageDir_.path());
        QSignalSpy ended(&driver, &SettingsTestDriver::TestEnded);
        driver.TestFtpLogin();
        QVERIFY(ended.wait(30000));
        QCOMPARE(state.StatusText(), "Quendrel (Unable to Connect to 127.0.0.1)");
        QVERIFY2(state.StatusDetail().contains(hostKey_), qPrintable(state.StatusDetail()));
        QCOMPARE(state.OfferedServerKey(), hostKey_);
        QCOMPARE(settings.Text(Setting::ServerKey), QString());
        settings.Set(Setting::ServerKey, state.OfferedServerKey());
        driver.TestFtpLogin();
        QVERIFY(ended.wait(30000));
        QCOMPARE(state.StatusText(), "Quendrel (Test: logged in to 127.0.0.1)");
        QCOMPARE(state.OfferedServerKey(), QString());
    }

    // A stored key as ssh-keygen writes it, or with openssl's padding, and nothing else. Active mode over TLS is
    // refused, before anything is sent, where libcurl cannot do it; an empty port box is the protocol's port; an
    // empty password is no missing field for SFTP.
    void settingsRefusedOrTaken()
    {
        const QString key = u"SHA256:o8BBYdhkMcr1bfDSdo5D+Fzj3FT130KNKGGjZNtxcXU"_s;
        QCOMPARE(ServerKeyText(ParseServerKey(key + u'=').value_or("")), key);
        for (const QString& bad : {key + "==", key.chopped(1) + "V", key.chopped(1) + "!", "sha256:" + key.mid(7)})
            QVERIFY2(!ParseServerKey(bad), qPrintable(bad));
        QCOMPARE(ActiveTlsUnavailable(0x075601), std::nullopt);
        QVERIFY(ActiveTlsUnavailable(0x075700) && ActiveTlsUnavailable(0x075801)->startsWith(u"libcurl 7.88.1 "_s));
        QCOMPARE(ActiveTlsUnavailable(0x080000), std::nullopt);
        UpdateInputs in;
        in.server = in.username = in.password = u"x"_s;
        in.protocol = TransferProtocol::FtpExplicitTls;
        in.active = true;
        const auto refused = ValidateFtpInputs(in);
        QCOMPARE(refused ? refused->message : QString(), ActiveTlsUnavailable() ? kActiveTlsUnavailable : QString());
        in.protocol = TransferProtocol::Sftp;
        in.password.clear();
        QCOMPARE(ValidateFtpInputs(in), std::nullopt);
        in.serverKey = u"SHA256:nonsense"_s;
        QVERIFY(ValidateFtpInputs(in));
        QCOMPARE(TakePort(u""_s, TransferProtocol::Sftp).port, 22);
        QCOMPARE(ProtocolFromText(u" sftp"_s), TransferProtocol::Sftp);  // as a file written by hand may have it
        QCOMPARE(FtpDirectoryUrl(u"h"_s, 22, u"a b/c"_s, TransferProtocol::Sftp), "sftp://h:22/~/a%20b/c/");
        QCOMPARE(FtpDirectoryUrl(u"h"_s, 990, u""_s, TransferProtocol::FtpImplicitTls), "ftps://h:990/");
    }
};

QTEST_GUILESS_MAIN(TestSecureUploads)
#include "test_secure_uploads.moc"
