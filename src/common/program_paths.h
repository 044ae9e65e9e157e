#pragma once

#include <QString>

namespace quendrel {

// The path with "/" appended unless it already ends in one (also when empty).
QString AddBackslash(const QString& path);

// Full path of the running executable, symbolic links resolved.
QString ExecutablePath();

// Directory that holds the running executable.
QString ProgramDirectory();

// File name of the running executable, without ".exe" where it has one.
QString ExecutableName();

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not an absolute path.
QString UserConfigDirectory();

// The folder WritableDirectory() names, without making it.
QString OwnDirectory();

// The folder where a program in programDirectory keeps its files: that
// directory itself (a portable copy), unless the user may not write there or
// it is installedDirectory (links resolved); then $XDG_CONFIG_HOME/Quendrel.
QString OwnDirectoryOf(const QString& programDirectory, const QString& installedDirectory);

// Where the program keeps the files it writes (settings, list, generated
// page): its own directory when the user may write there and the program is
// not the installed copy, otherwise $XDG_CONFIG_HOME/Quendrel, made when
// missing, so that an installed copy never silently loses its settings.
QString WritableDirectory();

// The help that "Help" opens for the executable executableName in
// programDirectory, the first of these that is a visible regular file:
// the executable's name with ".chm" beside it; the HTML help the build
// writes beside the program (help/index.html); the installed HTML help
// (index.html in share/quendrel/help, found from the program's own
// directory). Empty when there is none.
QString HelpFileIn(const QString& programDirectory, const QString& executableName);

// HelpFileIn for the running executable.
QString HelpFilePath();

// True for a regular file whose name does not start with "." (a hidden file
// counts as absent, and so does a directory).
bool IsVisibleRegularFile(const QString& path);

}  // namespace quendrel
