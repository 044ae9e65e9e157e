#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

#include "app/single_instance.h"

using namespace quendrel;

class TestSingleInstance : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string LockPath() const { return dir_.filePath(QStringLiteral("test.lock")).toStdString(); }

private slots:
    // Another process holds the lock until it is killed.
    void killedHolderDoesNotBlock()
    {
        const pid_t holder = ::fork();
        if (holder == 0) {
            SingleInstanceLock lock;
            lock.TryAcquire(LockPath());
            ::raise(SIGSTOP);
            ::_exit(0);
        }
        int status = 0;
        QVERIFY(::waitpid(holder, &status, WUNTRACED) == holder && WIFSTOPPED(status));
        SingleInstanceLock mine;
        QVERIFY(!mine.TryAcquire(LockPath()));
        ::kill(holder, SIGKILL);
        QCOMPARE(::waitpid(holder, nullptr, 0), holder);
        QVERIFY(mine.TryAcquire(LockPath()));
    }

    // A browser opened from the About window may outlive the program; it
    // must not keep the next start from running.
    void startedProgramsDoNotInheritTheLock()
    {
        auto lock = std::make_unique<SingleInstanceLock>();
        QVERIFY(lock->TryAcquire(LockPath()));
        QProcess longLived;
        longLived.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(longLived.waitForStarted());
        lock.reset();
        QVERIFY(SingleInstanceLock().TryAcquire(LockPath()));
        longLived.kill();
        QVERIFY(longLived.waitForFinished());
    }

    void lockPathIsPerExecutableAndUser()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
        const std::string a = LockPathFor("/opt/a/Quendrel");
        QCOMPARE(a, LockPathFor("/opt/a/Quendrel"));
        QVERIFY(a != LockPathFor("/opt/b/Quendrel"));  // a copy elsewhere runs on its own
        QVERIFY(a.starts_with(dir_.path().toStdString() + '/'));
        qputenv("XDG_RUNTIME_DIR", "relative/path");  // unusable: /tmp, named with the user's id
        QVERIFY(LockPathFor("/opt/a/Quendrel").starts_with("/tmp/Quendrel-" + std::to_string(::getuid()) + '-'));
        // A lock that cannot be made at all never keeps the program from starting.
        QVERIFY(SingleInstanceLock().TryAcquire("/nonexistent-directory/x.lock"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
