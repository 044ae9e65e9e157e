#include <QAction>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include "app/instance_channel.h"
#include "app/lifecycle.h"
#include "common/file_io.h"
#include "support/test_servers.h"
#include "ui/app_actions.h"
#include "update/curl_handle.h"

using namespace quendrel;
using namespace Qt::StringLiterals;
using Changes = QList<std::pair<Setting, QVariant>>;

// A program in the tray (offscreen, with the local HTTP and FTP servers) and later starts asking it through the
// channel; each later start asks from a thread of its own, as the call blocks.
class TestInstanceChannel : public QObject {
    Q_OBJECT

    CurlGlobal curl_;
    test::TestServers servers_;
    QTemporaryDir dir_;
    std::unique_ptr<Lifecycle> life_;
    std::unique_ptr<InstanceServer> channel_;
    QStringList texts_;  // the status texts the program set since init

    QString Path() const { return dir_.filePath(u"q.lock.sock"_s); }

    struct Answer {
        std::optional<int> status;
        QStringList lines;
    };
    std::future<Answer> Ask(const QString& path, const QByteArray& command, std::atomic<int>* seen = nullptr)
    {
        return std::async(std::launch::async, [=] {
            Answer answer;
            const auto onStatus = [&answer, seen](const QString& text) {
                answer.lines << text;
                if (seen)
                    ++*seen;
            };
            answer.status = AskRunningInstance(path, command, onStatus, [] { return false; });
            return answer;
        });
    }
    // Runs this thread's events until the answer has come.
    static Answer Wait(std::future<Answer>& answer)
    {
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return answer.get();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(servers_.Start() && dir_.isValid());
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        QCOMPARE(WriteWholeFile(SettingsFilePath(dir_.path()), "[Settings]\nStartString=<ip>\nEndString=</ip>\n"), 0);
        life_ = std::make_unique<Lifecycle>(nullptr, ProgramFiles::In(dir_.path()));
        life_->Load();
        connect(&life_->State(), &ProgramState::StatusTextSet, this, [this](const QString& text) { texts_ << text; });
        channel_ = std::make_unique<InstanceServer>(*life_, Path());
        QVERIFY(channel_->Listen());
        struct stat info {};
        QVERIFY(::lstat(QFile::encodeName(Path()), &info) == 0 && S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, 0u);  // the user's alone
    }

    void init()
    {
        for (const auto& [setting, value] : Changes{{Setting::Server, "127.0.0.1"}, {Setting::Password, "secret"},
                 {Setting::Port, QString::number(servers_.FtpPort())}, {Setting::Username, "writer"},
                 {Setting::RemotePath, "site"}, {Setting::WebpageType, true}, {Setting::IPWebPage, servers_.HttpUrl("/ip")}})
            life_->Settings().Set(setting, value);
        texts_.clear();
    }

    // Rows: the command; the settings changed; the exit status (-1: no answer, and the client was dropped).
    void answers_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<int>("status");
        QTest::newRow("an update that works") << kUpdateCommand << Changes{} << 0;
        QTest::newRow("a failing update") << kUpdateCommand << Changes{{Setting::Password, "wrong"}} << 1;
        QTest::newRow("an update refused at once") << kUpdateCommand << Changes{{Setting::Server, " "}} << 1;
        QTest::newRow("show") << kShowCommand << Changes{} << 0;
        QTest::newRow("an unknown command") << "updat"_ba << Changes{} << -1;
        QTest::newRow("a command too long") << QByteArray(100, 'u') << Changes{} << -1;
    }

    void answers()
    {
        QFETCH(QByteArray, command);
        QFETCH(Changes, changes);
        QFETCH(int, status);
        for (const auto& [setting, value] : changes)
            life_->Settings().Set(setting, value);
        life_->MainWindow()->hide();
        auto asked = Ask(Path(), command);
        const Answer answer = Wait(asked);
        QCOMPARE(answer.status.value_or(-1), status);
        // Every status text of the cycle, in order, the report last.
        QCOMPARE(answer.lines, texts_);
        QCOMPARE(answer.lines.isEmpty(), command != kUpdateCommand);
        if (!texts_.isEmpty())
            QCOMPARE(texts_.last().startsWith(u"Quendrel (203.0.113.7 - "_s), status == 0);
        QCOMPARE(life_->MainWindow()->isVisible(), command == kShowCommand);
    }

    // Asked while a cycle waits for the IP web page (held by a server of the test's own until released), later
    // starts follow that cycle rather than start one; one that goes away does not disturb it.
    void laterStartsFollowTheRunningCycle()
    {
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost));
        life_->Settings().Set(Setting::IPWebPage, u"http://127.0.0.1:%1/ip"_s.arg(web.serverPort()));
        QSignalSpy started(life_.get(), &Lifecycle::UpdateStarted);
        life_->Actions().mnuUpdate->trigger();
        QVERIFY(web.waitForNewConnection(10000));
        QTRY_VERIFY(life_->State().StatusText().startsWith(u"Connecting to http"_s));
        const QString held = life_->State().StatusText();
        QLocalSocket leaving;
        leaving.connectToServer(Path());
        QVERIFY(leaving.waitForConnected(2000) && leaving.write("update\n") == 7);
        QTRY_VERIFY(leaving.canReadLine());
        std::atomic<int> seen = 0;
        auto first = Ask(Path(), kUpdateCommand, &seen), second = Ask(Path(), kUpdateCommand, &seen);
        QTRY_COMPARE(seen.load(), 2);  // both have the status text of the moment
        leaving.abort();
        QTcpSocket* page = web.nextPendingConnection();
        page->write("HTTP/1.1 200 OK\r\nContent-Length: 20\r\nConnection: close\r\n\r\n<ip>203.0.113.7</ip>");
        page->disconnectFromHost();
        const Answer answers[] = {Wait(first), Wait(second)};
        for (const Answer& answer : answers) {
            QCOMPARE(answer.status.value_or(-1), 0);
            QCOMPARE(answer.lines, texts_.mid(texts_.indexOf(held)));
        }
        QCOMPARE(started.count(), 1);
    }

    // A socket a killed program left behind answers nothing at once, and a new program listens there; a live one
    // is never taken over; a client that says nothing is dropped.
    void leftoversAndSilence()
    {
        const QString left = dir_.filePath(u"left.sock"_s);
        sockaddr_un address {.sun_family = AF_UNIX, .sun_path = {}};
        qstrcpy(address.sun_path, QFile::encodeName(left));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::close(fd) == 0);
        QElapsedTimer timer;
        timer.start();
        auto asked = Ask(left, kShowCommand);
        QVERIFY(!Wait(asked).status);
        QCOMPARE_LT(timer.elapsed(), 1000);
        InstanceServer successor(*life_, left);
        QVERIFY(successor.Listen());
        asked = Ask(left, kShowCommand);
        QCOMPARE(Wait(asked).status.value_or(-1), 0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"another program answers"_s));
        QVERIFY(!InstanceServer(*life_, left).Listen());
        asked = Ask(left, kShowCommand);
        QCOMPARE(Wait(asked).status.value_or(-1), 0);

        QLocalSocket silent;
        silent.connectToServer(Path());
        QVERIFY(silent.waitForConnected(2000));
        QSignalSpy dropped(&silent, &QLocalSocket::disconnected);
        QVERIFY(dropped.wait(5000));
    }
};

QTEST_MAIN(TestInstanceChannel)
#include "test_instance_channel.moc"
