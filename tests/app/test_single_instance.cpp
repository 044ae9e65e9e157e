#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <spawn.h>
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
            char name[] = "sleep", seconds[] = "30";
            char* const argv[] = {name, seconds, nullptr};
            // Stops only holding the lock with the program running (posix_spawnp reports a failed exec).
            if (lock.TryAcquire(path) && ::posix_spawnp(nullptr, name, nullptr, nullptr, argv, environ) == 0)
                ::raise(SIGSTOP);
            ::_exit(1);
        }
        const auto killAll = qScopeGuard([holder] { ::kill(-holder, SIGKILL); });
        int status = 0;
        QVERIFY(::waitpid(holder, &status, WUNTRACED) == holder && WIFSTOPPED(status));
        QVERIFY(!SingleInstanceLock().TryAcquire(path));
        ::kill(holder, SIGKILL);
        QCOMPARE(::waitpid(holder, nullptr, 0), holder);
        // Free while the program it started runs on; that program lets go of the inherited descriptor only as its
        // exec completes, a moment after its starter went on, hence the wait.
        QTRY_VERIFY(SingleInstanceLock().TryAcquire(path));
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
