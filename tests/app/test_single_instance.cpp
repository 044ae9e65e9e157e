#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "app/single_instance.h"

using namespace quendrel;

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void killedHolderDoesNotBlock();
    void startedProgramsDoNotInheritTheLock();
    void lockPathIsPerExecutableAndUser();

private:
    QTemporaryDir dir_;
    std::string LockPath() const { return (dir_.path() + QStringLiteral("/test.lock")).toStdString(); }
};

void TestSingleInstance::killedHolderDoesNotBlock()
{
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        SingleInstanceLock lock;
        const char held = lock.TryAcquire(LockPath()) ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    QCOMPARE(::read(ready[0], &held, 1), ssize_t(1));
    QCOMPARE(held, 'y');
    SingleInstanceLock mine;
    QVERIFY(!mine.TryAcquire(LockPath()));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    QVERIFY(mine.TryAcquire(LockPath()));
    ::close(ready[0]);
    ::close(ready[1]);
}

void TestSingleInstance::startedProgramsDoNotInheritTheLock()
{
    // A browser opened from the About window may outlive the program; it
    // must not keep the next start from running.
    auto lock = std::make_unique<SingleInstanceLock>();
    QVERIFY(lock->TryAcquire(LockPath()));
    QProcess longLived;
    longLived.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(longLived.waitForStarted());
    lock.reset();
    SingleInstanceLock next;
    const bool acquired = next.TryAcquire(LockPath());
    longLived.kill();
    longLived.waitForFinished();
    QVERIFY(acquired);
}

void TestSingleInstance::lockPathIsPerExecutableAndUser()
{
    qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit());
    const std::string a = LockPathFor("/opt/a/Quendrel");
    QCOMPARE(a, LockPathFor("/opt/a/Quendrel"));
    QVERIFY(a != LockPathFor("/opt/b/Quendrel"));  // a copy elsewhere runs on its own
    QVERIFY(QString::fromStdString(a).startsWith(dir_.path() + QLatin1Char('/')));
    qputenv("XDG_RUNTIME_DIR", "relative/path");  // unusable: /tmp, named with the user's id
    QVERIFY(QString::fromStdString(LockPathFor("/opt/a/Quendrel")).startsWith(QStringLiteral("/tmp/Quendrel-%1-").arg(::getuid())));
    qunsetenv("XDG_RUNTIME_DIR");
    // A lock that cannot be made at all never keeps the program from starting.
    SingleInstanceLock lock;
    QVERIFY(lock.TryAcquire("/nonexistent-directory/x.lock"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
