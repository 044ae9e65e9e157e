#pragma once

#include <QByteArray>
#include <QString>

namespace quendrel {

// Start at logon: an XDG autostart entry named after the executable.

// $XDG_CONFIG_HOME/autostart/<executable name>.desktop; $XDG_CONFIG_HOME
// defaults to ~/.config (and is ignored when it is not an absolute path).
QString AutostartEntryPath(const QString& executableName);

// The entry's text, its Exec the executable's full path (and, when one was
// named, "--settings" with the settings folder), quoted and escaped as the
// Desktop Entry format requires. Empty when a path holds an ASCII control
// character other than tab, line feed and carriage return: the format has
// no way to write one.
QByteArray AutostartEntryText(const QString& executablePath, const QString& settingsFolder = {});

// Writes the entry (whole or not at all) unless it already holds this text.
// An entry of that name that this program did not write is left alone; a
// symbolic link to one it did write is replaced, not written through.
// Silent when the write fails: the next save tries again. An entry that
// cannot be written at all (see AutostartEntryText) is not, with a warning.
void WriteAutostartEntry(const QString& entryName, const QString& executablePath, const QString& settingsFolder = {});
// Removes the entry when this program wrote it; silent on failure.
void DeleteAutostartEntry(const QString& executableName);

}  // namespace quendrel
