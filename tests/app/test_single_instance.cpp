#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "app/single_instance.h"

using namespace quendrel;

class TestSingleInstance : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // Another process holds the lock until it ends in any way (killed here). A program it started (a browser
    // opened from the About window, say) may outlive it and must not keep the next start from running.
    void lockEndsWithItsHolder()
    {
        const std::string path = dir_.filePath(QStringLiteral("test.lock")).toStdString();  // made before the fork
        const pid_t holder = ::fork();
        if (holder == 0) {
            ::setpgid(0, 0);  // one group with the program it starts
            SingleInstanceLock lock;
            if (lock.TryAcquire(path) && ::vfork() == 0) {  // back here once the program runs
                ::execlp("sleep", "sleep", "30", nullptr);
                ::_exit(1);
            }
            ::raise(SIGSTOP);
            ::_exit(0);
        }
        const auto killAll = qScopeGuard([holder] { ::kill(-holder, SIGKILL); });
        int status = 0;
        QVERIFY(::waitpid(holder, &status, WUNTRACED) == holder && WIFSTOPPED(status));
        SingleInstanceLock mine;
        QVERIFY(!mine.TryAcquire(path));
        ::kill(holder, SIGKILL);
        QCOMPARE(::waitpid(holder, nullptr, 0), holder);
        QVERIFY(mine.TryAcquire(path));  // while the program it started runs on
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
