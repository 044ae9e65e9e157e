#pragma once

#include <QString>

namespace quendrel {

class SettingsModel;

// Where the settings and the list of IP web pages are kept. The settings
// file is named after the program's title, the list file after the
// executable, so a renamed copy shares the settings but keeps its own list.
struct ProgramFiles {
    QString settingsFile;
    QString listFile;
    // The start and end strings remembered for each page of the list.
    QString pageStringsFile;
    // The folder the user named for them (--settings), empty for the
    // program's own: the start at logon names it too.
    QString chosenFolder;

    // The files in the directory given.
    static ProgramFiles In(const QString& directory);
    // The files in a folder the user named.
    static ProgramFiles Chosen(const QString& folder);
};

// The settings file: the application title with ".ini", in the directory given.
QString SettingsFilePath(const QString& directory);

// Reads every key of the table into the model. A visible regular file is
// read whole; anything else (missing, hidden, a directory) gives the
// first-run values, though the server fields are still read from it as far
// as it can be read. True when the file was there (not a first run).
bool ReadSettingsFile(const QString& path, SettingsModel& model);

// Writes every key in the table's order (an option that was never used
// only when the file has it already), keeping the file's other lines;
// whole or not at all, readable by the user only, since it holds the
// password. Something other than a regular file in its place (a FIFO, a
// device) is not replaced. False when the file was left as it was.
bool WriteSettingsFile(const QString& path, const SettingsModel& model);

enum class ListFileMode { Load = 0, Save = 1 };

// Moves the list of IP web pages and the strings remembered for them
// between their files and the model; a save puts the chosen page first when
// the list lacks it, and, once pages have been picked from the list,
// remembers the strings shown for it. A file of strings that cannot be read
// is left as it is, not written over.
void SyncIPWebPageList(SettingsModel& model, ListFileMode mode, const ProgramFiles& files);

// Loads the settings file into the model; on a first run the first page of
// the list (loaded before) is the chosen one. First removes the copies of
// the settings, list and strings files that a killed save left (the
// settings one holds the password): here, since every start comes here, the
// tray's and --update's, and always under the single-instance lock, so no
// save of ours to these files is under way. (A copy under another name
// shares only the settings file; should one of its saves be caught between
// link and rename, that save fails and leaves the file as it was.)
void LoadSettings(SettingsModel& model, const ProgramFiles& files);

// Saves the settings file, and registers the program to start at logon or
// removes that registration, as the settings say. Storage failures are
// silent: the program carries on with what it has.
void SaveSettings(const SettingsModel& model, const ProgramFiles& files);

// The name of the start-at-logon entry for these files.
QString AutostartEntryName(const ProgramFiles& files);

}  // namespace quendrel
