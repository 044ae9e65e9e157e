#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "../support/test_files.h"
#include "common/program_paths.h"

using namespace quendrel;

class TestProgramPaths : public QObject {
    Q_OBJECT

private slots:
    // An installed copy: the program's directory belongs to root, the user
    // may not write there.
    void installedCopyKeepsItsFilesInTheUsersConfiguration()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as a user who cannot write the program's directory");
        QTemporaryDir config;
        QVERIFY(QFile::setPermissions(config.path(), QFile::Permissions(0x7707)));
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString expected = config.path() + QStringLiteral("/Quendrel");
        QVERIFY(test::RunAsOrdinaryUser([&] { return WritableDirectory() == expected && QDir(expected).exists(); }));
    }
};

QTEST_GUILESS_MAIN(TestProgramPaths)
#include "test_program_paths.moc"
