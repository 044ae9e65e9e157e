#pragma once

#include <QString>

namespace quendrel {

// The settings as the settings file holds them, in the order they are read.
// Check boxes are 0 or 1; each option pair is one flag, -1 when its first
// button is selected.
struct StoredSettings {
    int StartWithWindows = 0;
    int CheckOnStart = 0;
    int DelayCheckOnStart = 0;
    int Interval = 15;
    int WebpageType = -1;
    QString SourceFilepath;
    QString DestFilename = QStringLiteral("ip.html");
    QString Server;
    QString Username;
    QString Password;  // as typed
    QString RemotePath;
    QString Port = QStringLiteral("21");
    int PasActFlag = -1;
    int ConnectType = 0;
    // Empty on a first run: the first entry of the list is chosen instead.
    QString IPWebPage;
    QString StartString = QStringLiteral("<ip>");
    QString EndString = QStringLiteral("</ip>");
    // No settings file was found: the values above are the first-run ones.
    bool FirstRun = false;
};

constexpr int kFlagFirstSelected = -1;

// The settings file: the application title with ".ini", in the directory
// given (the program's writable directory).
QString SettingsFilePath(const QString& directory);

// A visible regular file is read; anything else (missing, hidden, a
// directory) gives the first-run values, though the four server fields are
// still read from it as far as it can be read.
StoredSettings ReadSettingsFile(const QString& path);

// Writes every key in the order a first save creates them, keeping the
// file's other lines; whole or not at all, readable by the user only, since
// it holds the password. Something other than a regular file in its place
// (a FIFO, a device) is not replaced. False when the file was left as it was.
bool WriteSettingsFile(const QString& path, const StoredSettings& settings);

}  // namespace quendrel
