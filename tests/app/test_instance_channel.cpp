#include <QAction>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <sys/stat.h>

#include "app/instance_channel.h"
#include "app/lifecycle.h"
#include "common/file_io.h"
#include "support/test_servers.h"
#include "ui/app_actions.h"
#include "update/curl_handle.h"

using namespace quendrel;
using namespace Qt::StringLiterals;
using Changes = QList<std::pair<Setting, QVariant>>;

// A later start's command, the settings changed for it, and its exit status (-1: dropped unanswered).
struct Request { QByteArray command; Changes changes; int status; };

// A program in the tray (offscreen, with the local HTTP and FTP servers) and later starts asking it through the
// channel; each later start asks from a thread of its own, as the call blocks.
class TestInstanceChannel : public QObject {
    Q_OBJECT

    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    const QString path_ = dir_.filePath(u"q.lock.sock"_s);
    Lifecycle life_{nullptr, ProgramFiles::In(dir_.path())};
    InstanceServer channel_{life_, path_};
    QStringList texts_;        // the status texts the program set since init
    std::atomic<int> seen_;    // the status lines later starts received since init

    // The exit status (-1: no answer) and the status lines a later start received.
    using Answer = std::pair<int, QStringList>;
    std::future<Answer> Ask(const QString& path, const QByteArray& command)
    {
        return std::async(std::launch::async, [this, path, command] {
            Answer answer;
            const auto onStatus = [&answer, this](const QString& text) { answer.second << text, ++seen_; };
            answer.first = AskRunningInstance(path, command, onStatus, [] { return false; }).value_or(-1);
            return answer;
        });
    }
    // Runs the program's events until the answer has come.
    static Answer Wait(std::future<Answer>&& answer)
    {
        const auto ready = [&] { return answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; };
        return QTest::qWaitFor(ready, 60000) ? answer.get() : Answer(-2, {u"no answer in a minute"_s});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(servers_.Start() && dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        QCOMPARE(WriteWholeFile(SettingsFilePath(dir_.path()), "[Settings]\nStartString=<ip>\nEndString=</ip>\n"), 0);
        life_.Load();
        connect(&life_.State(), &ProgramState::StatusTextSet, this, [this](const QString& text) { texts_ << text; });
        // A socket a program left when it was killed: no answer, at once; the program listens there all the same.
        QCOMPARE(QProcess::execute(u"/usr/bin/python3"_s, {"-c", "import socket,sys; socket.socket(1).bind(sys.argv[1])", path_}), 0);
        const QDeadlineTimer soon(1000);
        QVERIFY(Wait(Ask(path_, kShowCommand)).first == -1 && !soon.hasExpired());
        QVERIFY(channel_.Listen());
        struct stat info {};  // the user's alone
        QVERIFY(::lstat(QFile::encodeName(path_), &info) == 0 && S_ISSOCK(info.st_mode) && !(info.st_mode & 077));
    }

    void init()
    {
        for (const auto& [setting, value] : Changes{{Setting::Server, "127.0.0.1"}, {Setting::Password, "secret"},
                 {Setting::Port, QString::number(servers_.FtpPort())}, {Setting::Username, "writer"},
                 {Setting::RemotePath, "site"}, {Setting::WebpageType, true}, {Setting::IPWebPage, servers_.HttpUrl("/ip")}})
            life_.Settings().Set(setting, value);
        texts_.clear();
        seen_ = 0;
    }

    // A failed cycle answers 1 as a refused one does: both end with the failure shown.
    void answers_data()
    {
        QTest::addColumn<Request>("row");
        QTest::newRow("an update that works") << Request{kUpdateCommand, {}, 0};
        QTest::newRow("an update refused at once") << Request{kUpdateCommand, {{Setting::Server, " "}}, 1};
        QTest::newRow("show") << Request{kShowCommand, {}, 0};
        QTest::newRow("an unknown command") << Request{"updat", {}, -1};
        QTest::newRow("a command too long") << Request{QByteArray(100, 'u'), {}, -1};
    }

    void answers()
    {
        QFETCH(Request, row);
        for (const auto& [setting, value] : row.changes)
            life_.Settings().Set(setting, value);
        life_.MainWindow()->hide();
        const Answer answer = Wait(Ask(path_, row.command));
        QCOMPARE(answer, Answer(row.status, texts_));  // every status text of the cycle, in order, the report last
        QCOMPARE(life_.MainWindow()->isVisible(), row.command == kShowCommand);
    }

    // Asked while a cycle waits for the IP web page (held by a server of the test's own until released), later
    // starts follow that cycle rather than start one (a new one would not send the text of the moment); one that
    // goes away does not disturb it; one that says nothing is dropped.
    void laterStartsFollowTheRunningCycle()
    {
        QLocalSocket silent;
        silent.connectToServer(path_);
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost));
        life_.Settings().Set(Setting::IPWebPage, u"http://127.0.0.1:%1/ip"_s.arg(web.serverPort()));
        life_.Actions().mnuUpdate->trigger();
        QTRY_VERIFY(web.hasPendingConnections() && life_.State().StatusText().startsWith(u"Connecting to http"_s));
        QLocalSocket leaving;
        leaving.connectToServer(path_);
        QVERIFY(leaving.waitForConnected(2000) && leaving.write("update\n") == 7);
        auto asked = Ask(path_, kUpdateCommand);
        QTRY_VERIFY(leaving.canReadLine() && seen_ == 1);  // both follow; this one has the status text of the moment
        leaving.abort();
        QTcpSocket* page = web.nextPendingConnection();
        page->write("HTTP/1.1 200 OK\r\nContent-Length: 20\r\nConnection: close\r\n\r\n<ip>203.0.113.7</ip>");
        const Answer answer = Wait(std::move(asked));
        QCOMPARE(answer, Answer(0, texts_.mid(texts_.indexOf(answer.second.value(0)))));
        QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QLocalSocket::UnconnectedState, 5000);
    }

    // Asked while a test of the settings waits for the IP web page, a later start waits for the test's end and
    // then gets its own update, rather than a refusal.
    void laterStartWaitsForATest()
    {
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost));
        life_.Settings().Set(Setting::IPWebPage, u"http://127.0.0.1:%1/ip"_s.arg(web.serverPort()));
        life_.MainWindow()->findChild<QPushButton*>(u"cmdTestPage"_s)->click();
        QTRY_VERIFY(web.hasPendingConnections() && life_.IsTesting());
        life_.Settings().Set(Setting::IPWebPage, servers_.HttpUrl("/ip"));
        static std::atomic<bool> waiting = false;
        static const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& c, const QString& line) {
            waiting = waiting || line.contains(u"waits for the settings test"_s);
            previous(type, c, line);
        });
        auto asked = Ask(path_, kUpdateCommand);
        QTRY_VERIFY(waiting);  // the request came while the test ran
        web.nextPendingConnection()->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        QCOMPARE(Wait(std::move(asked)).first, 0);
    }

    // After Exit, while an About window keeps the program alive, an update is refused without a cycle: the later
    // start hears so at once instead of waiting for an end that never comes. (Last: it ends the program.)
    void updateAskedWhileTheProgramEnds()
    {
        life_.Actions().mnuAbout->trigger();
        life_.Exit();
        QVERIFY(life_.AboutWindow());
        const QDeadlineTimer soon(5000);
        QCOMPARE(Wait(Ask(path_, kUpdateCommand)), Answer(1, {}));
        QVERIFY(!soon.hasExpired());
        life_.AboutWindow()->close();
    }
};

QTEST_MAIN(TestInstanceChannel)
#include "test_instance_channel.moc"
