#pragma once

#include <QString>

namespace quendrel {

class FrmMain;

enum class ListFileMode { Load = 0, Save = 1 };

// Where the settings and the list of IP web pages are kept. The settings
// file is named after the program's title, the list file after the
// executable, so a renamed copy shares the settings but keeps its own list.
struct ProgramFiles {
    QString settingsFile;
    QString listFile;

    // The files in the directory given.
    static ProgramFiles In(const QString& directory);
};

// Moves the settings and the list of IP web pages between the window's
// controls and the program's files. Storage failures are silent: the
// program carries on with what it has.
void SyncIPWebPageList(FrmMain& window, ListFileMode mode, const ProgramFiles& files);
void LoadSettings(FrmMain& window, const ProgramFiles& files);
// Also registers the program to start at logon, or removes that
// registration, as the window's box says.
void SaveSettings(FrmMain& window, const ProgramFiles& files);

}  // namespace quendrel
