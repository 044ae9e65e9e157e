#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include "common/file_io.h"
#include "support/test_files.h"
#include "support/test_servers.h"

using namespace Qt::StringLiterals;
using quendrel::test::ReadFile;

// A start that ends at once: its arguments, exit status, whole stdout, and a pattern its stderr holds.
struct EndsAtOnce { QStringList arguments; int status; QString out, errPattern; };
// --update with these lines first in the settings: its exit status, how many of the cycle's own
// texts come before the last line, a pattern of that line, and how the uploaded page starts.
struct UpdateRun { QString extra; int status, steps; QString lastLine; QByteArray pageStart; };

// The real program from a terminal, with no display and no Qt platform, its settings in folders of the test's own,
// against the local HTTP and FTP servers. The test directory is also HOME, the config home and the runtime
// directory, so whatever the program creates outside its folder shows there.
class TestCommandLine : public QObject {
    Q_OBJECT

    quendrel::test::TestServers servers_;
    QTemporaryDir dir_;

    // The program without a display; with inTray, the tray program on Qt's offscreen platform.
    std::unique_ptr<QProcess> Start(const QStringList& arguments, bool inTray = false,
                                    const QString& binary = QStringLiteral(QUENDREL_BINARY))
    {
        auto program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        if (inTray)
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString& name : {u"HOME"_s, u"XDG_CONFIG_HOME"_s, u"XDG_RUNTIME_DIR"_s})
            env.insert(name, dir_.path());
        program->setProcessEnvironment(env);
        program->start(binary, arguments);
        return program;
    }

    // The channel sockets of running tray programs.
    QStringList Sockets() const { return QDir(dir_.path()).entryList({u"*.sock"_s}, QDir::System); }

    // A new folder whose settings upload the page with the address from ipPath to "site"; extra lines go first,
    // and the first of two equal keys counts.
    QString Folder(const QString& name, const QString& ipPath, const QString& extra = {})
    {
        const QString folder = dir_.filePath(name);
        const QString text = u"[Settings]\n%1WebpageType=-1\nDestFilename=ip.html\nServer=127.0.0.1\nPort=%2\n"
                             "Username=writer\nPassword=c2VjcmV0\nRemotePath=site\nIPWebPage=%3\nStartString=<ip>\n"
                             "EndString=</ip>\n"_s.arg(extra).arg(servers_.FtpPort()).arg(servers_.HttpUrl(ipPath))
                                 .replace(u"\n"_s, u"\r\n"_s);
        return QDir().mkdir(folder) && quendrel::WriteWholeFile(folder + u"/Quendrel.ini"_s, text.toLatin1()) == 0
                   ? folder : QString();
    }

private slots:
    void initTestCase() { QVERIFY(servers_.Start() && dir_.isValid()); }

    void endsAtOnce_data()
    {
        QTest::addColumn<EndsAtOnce>("run");
        QTest::newRow("version") << EndsAtOnce{{u"--version"_s}, 0, u"Quendrel 4.6.0\n"_s, u"^$"_s};
        QTest::newRow("unknown option") << EndsAtOnce{{u"--bogus"_s, u"--update"_s}, 2, {},
                                                      u"^Quendrel: Unknown option 'bogus'.\n\nUsage: Quendrel \\[options\\]"_s};
        QTest::newRow("missing folder") << EndsAtOnce{{u"--update"_s, u"--settings"_s, dir_.filePath(u"none"_s)}, 2, {},
                                                      u"^Quendrel: cannot use the settings folder .*/none\""_s};
    }

    // Nothing is created, in the test directory or elsewhere.
    void endsAtOnce()
    {
        QFETCH(EndsAtOnce, run);
        const QStringList before = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden);
        const auto program = Start(run.arguments);
        QVERIFY(program->waitForFinished(10000));
        QCOMPARE(program->exitCode(), run.status);
        QCOMPARE(QString::fromUtf8(program->readAllStandardOutput()), run.out);
        QVERIFY(QString::fromUtf8(program->readAllStandardError()).contains(QRegularExpression(run.errPattern)));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    }

    void update_data()
    {
        QTest::addColumn<UpdateRun>("run");
        const QString uploaded = u"^Quendrel \\(203\\.0\\.113\\.7 - \\d+ \\w+ \\d{4} \\d\\d:\\d\\d:\\d\\d\\)$"_s;
        QTest::newRow("default page") << UpdateRun{{}, 0, 10, uploaded, "<html><body><center><b>203.0.113.7"_ba};
        QTest::newRow("login refused") << UpdateRun{u"Password=UXVva2thLXMzY3JldC03Nw==\n"_s, 1, 8,
                                                    u"^Quendrel \\(Unable to Connect to 127\\.0\\.0\\.1\\)$"_s, {}};
    }

    // One cycle, its conversation logged: its texts in order on stdout, its page on the server, the settings file as
    // it was (any save would add the keys it lacks), no list file; the reason for a failure on stderr, and never a
    // password.
    void update()
    {
        QFETCH(UpdateRun, run);
        const QString folder = Folder(QString::fromLatin1(QTest::currentDataTag()), u"/ip"_s, run.extra);
        const QString ini = folder + u"/Quendrel.ini"_s;
        const QByteArray iniBytes = ReadFile(ini);
        QFile::remove(servers_.FtpRoot() + u"/site/ip.html"_s);

        const auto program = Start({u"--update"_s, u"--verbose"_s, u"--settings"_s, folder});
        QVERIFY(!folder.isEmpty() && program->waitForFinished(30000));
        const QString log = QString::fromUtf8(program->readAllStandardError());
        QVERIFY(log.contains(u"> GET /ip HTTP/1.1"_s) && log.contains(u"PASS ***"_s));
        QVERIFY(!log.contains(u"secret"_s) && !log.contains(u"Quokka-s3cret-77"_s));
        QCOMPARE(log.contains(u"< 530 "_s), run.status == 1);
        QCOMPARE(program->exitCode(), run.status);
        const QStringList cycle{u"Establishing Internet Connection.."_s, "Connecting to " + servers_.HttpUrl(u"/ip.."_s),
            u"Getting IP Address Data.."_s, u"Closing Internet Connection.."_s, u"Parsing IP Address Data.."_s,
            u"Creating HTML Page.."_s, u"Establishing Internet Connection.."_s, u"Connecting to 127.0.0.1.."_s,
            u"Uploading HTML Page.."_s, u"Closing Internet Connection.."_s};
        QStringList lines = QString::fromUtf8(program->readAllStandardOutput()).split(u'\n');
        QCOMPARE(lines.takeLast(), QString());  // the last line ends too
        QVERIFY2(lines.takeLast().contains(QRegularExpression(run.lastLine)), qPrintable(lines.join(u'|')));
        QCOMPARE(lines, cycle.first(run.steps));
        const QByteArray page = ReadFile(servers_.FtpRoot() + u"/site/ip.html"_s);
        QVERIFY(page.startsWith(run.pageStart));
        QCOMPARE(page.isEmpty() ? QByteArray() : ReadFile(folder + u"/temp.htm"_s), page);
        QCOMPARE(ReadFile(ini), iniBytes);
        QCOMPARE(QDir(folder).entryList(QDir::Files).filter(u".dat"_s), QStringList());
    }

    // With the tray program running for the folder (a copy there, started without --settings, uses it as its own),
    // --update --settings for that folder has it run the cycle and prints that cycle's texts.
    void updateForwardedToTheTray()
    {
        const QString folder = Folder(u"tray"_s, u"/ip"_s, u"CheckOnStart=0\nInterval=60\n"_s);
        const QString copy = folder + u"/Quendrel"_s;
        QVERIFY(QFile::copy(QStringLiteral(QUENDREL_BINARY), copy));
        const auto tray = Start({}, true, copy);
        QTRY_VERIFY_WITH_TIMEOUT(!Sockets().isEmpty(), 10000);
        const auto program = Start({u"--update"_s, u"--settings"_s, folder + u"/"_s}, false, copy);
        QVERIFY(program->waitForFinished(30000));
        QCOMPARE(program->exitCode(), 0);
        const QByteArray err = program->readAllStandardError();
        QVERIFY2(err.contains("the update ran in the program running in the tray"), err.constData());
        const QStringList lines = QString::fromUtf8(program->readAllStandardOutput()).split(u'\n');
        QCOMPARE(lines.value(lines.size() - 3), u"Closing Internet Connection.."_s);
        QVERIFY(lines.value(lines.size() - 2).startsWith(u"Quendrel (203.0.113.7 - "_s));
        QCOMPARE(tray->state(), QProcess::Running);
        tray->terminate();
        QVERIFY(tray->waitForFinished(5000));
    }

    // A second --update for the same folder (spelt otherwise) waits for the first without a cycle of its own; Ctrl-C
    // ends it, SIGTERM the first, at once, with 128 plus the signal's number, and no page written. A tray program
    // started for the folder meanwhile waits too, and starts once the first has ended.
    void signalEndsHangingCycle()
    {
        const QString folder = Folder(u"hang"_s, u"/hang"_s);
        const auto first = Start({u"--update"_s, u"--settings"_s, folder});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += first->readAllStandardOutput()).contains("Connecting to"), 10000);
        const auto second = Start({u"--settings"_s, folder + u"/."_s, u"--update"_s});
        const QStringList sockets = Sockets();
        const auto tray = Start({u"--settings"_s, folder}, true);
        QVERIFY(!second->waitForFinished(1000));
        QVERIFY(!tray->waitForFinished(200));  // waiting, not gone as a second start would be
        for (const auto& [program, signalNumber] : {std::pair{second.get(), SIGINT}, {first.get(), SIGTERM}}) {
            ::kill(static_cast<pid_t>(program->processId()), signalNumber);
            QVERIFY(program->waitForFinished(2000));
            QCOMPARE(program->exitCode(), 128 + signalNumber);
        }
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QVERIFY(!QFile::exists(folder + u"/temp.htm"_s));
        QTRY_VERIFY_WITH_TIMEOUT(Sockets().size() > sockets.size(), 10000);
        tray->terminate();
        QVERIFY(tray->waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
