#include "common/program_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#include "version.h"

namespace quendrel {

QString AddBackslash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString ExecutablePath()
{
    const QString path = QCoreApplication::applicationFilePath();
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
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

QString WritableDirectory()
{
    const QString programDir = ProgramDirectory();
    if (::access(QFile::encodeName(programDir).constData(), W_OK) == 0)
        return programDir;
    const QString configDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
        QLatin1String(kAppTitle);
    QDir().mkpath(configDir);
    return configDir;
}

QString HelpFilePath()
{
    return AddBackslash(ProgramDirectory()) + ExecutableName() + QStringLiteral(".chm");
}

bool IsVisibleRegularFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

}  // namespace quendrel
