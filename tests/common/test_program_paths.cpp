#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include "common/program_paths.h"

using namespace quendrel;

class TestProgramPaths : public QObject {
    Q_OBJECT

private slots:
    void writableDirectoryIsTheProgramsOwnWhenWritable();
    void installedCopyKeepsItsFilesInTheUsersConfiguration();
};

void TestProgramPaths::writableDirectoryIsTheProgramsOwnWhenWritable()
{
    if (::access(QFile::encodeName(ProgramDirectory()).constData(), W_OK) != 0)
        QSKIP("the test's own directory is not writable");
    QCOMPARE(WritableDirectory(), ProgramDirectory());
}

// An installed copy: the program's directory belongs to root, the user may
// not write there. Run as root, the test becomes such a user in a child.
void TestProgramPaths::installedCopyKeepsItsFilesInTheUsersConfiguration()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as a user who cannot write the program's directory");
    QTemporaryDir config;
    QVERIFY(QFile::setPermissions(config.path(), QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString expected = config.path() + QStringLiteral("/Quendrel");
    const pid_t child = ::fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const bool asUser = ::setgid(nobody) == 0 && ::setuid(nobody) == 0;
        const bool ok = asUser && WritableDirectory() == expected && QDir(expected).exists();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(TestProgramPaths)
#include "test_program_paths.moc"
