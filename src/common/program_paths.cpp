#include "common/program_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

#include "version.h"


namespace quendrel {

QString AddBackslash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString ExecutablePath()
{
    // The kernel's own answer, links resolved; it needs no application object,
    // so the single-instance test can use it before Qt starts.
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        QString path = QFile::decodeName(QByteArray(buffer, static_cast<int>(length)));
        // The kernel's mark for a file replaced (by an upgrade or a rebuild)
        // since the program started; the path is where its successor is.
        const QLatin1String deleted(" (deleted)");
        if (path.endsWith(deleted))
            path.chop(deleted.size());
        return path;
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

QString ProgramDirectory()
{
    return QFileInfo(ExecutablePath()).absolutePath();
}

QString ExecutableName()
{
    QString name = QFileInfo(ExecutablePath()).fileName();
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

QString UserConfigDirectory()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

namespace {

// Both resolved: on a merged /usr, /bin and /usr/bin are one folder.
bool IsSameDirectory(const QString& one, const QString& other)
{
    const QString canonical = QFileInfo(one).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(other).canonicalFilePath();
}

}  // namespace

QString OwnDirectoryOf(const QString& programDirectory, const QString& installedDirectory)
{
    // The installed copy never writes beside itself, not even as root: files
    // in the system's program folder would be a surprise there, and would
    // outlive the package's removal.
    const bool installed = IsSameDirectory(programDirectory, installedDirectory);
    if (!installed && ::access(QFile::encodeName(programDirectory).constData(), W_OK) == 0)
        return programDirectory;
    return AddBackslash(UserConfigDirectory()) + QLatin1String(kAppTitle);
}

QString OwnDirectory()
{
    return OwnDirectoryOf(ProgramDirectory(), QString::fromUtf8(kInstalledProgramDirectory));
}

QString WritableDirectory()
{
    const QString own = OwnDirectory();
    QDir().mkpath(own);
    return own;
}

QString HelpFileIn(const QString& programDirectory, const QString& executableName)
{
    const QString directory = AddBackslash(programDirectory);
    // The installed help's folder comes as a path relative to the program's
    // (QUENDREL_HELP_FROM_BINDIR, set where the help is built), so that an
    // installed tree still finds its help after it was moved. Cleaned, for
    // the browser to show a plain address.
    const QString candidates[] = {
        directory + executableName + QStringLiteral(".chm"),
        directory + QStringLiteral("help/index.html"),
        QDir::cleanPath(directory + QLatin1String(QUENDREL_HELP_FROM_BINDIR "/index.html")),
    };
    for (const QString& path : candidates) {
        if (IsVisibleRegularFile(path))
            return path;
    }
    return QString();
}

QString HelpFilePath()
{
    return HelpFileIn(ProgramDirectory(), ExecutableName());
}

bool IsVisibleRegularFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

}  // namespace quendrel
