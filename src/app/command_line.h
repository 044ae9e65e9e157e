#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include "settings/settings_file.h"

namespace quendrel {

// What a start was asked to do.
enum class RunMode {
    Tray,    // no command: the program in the tray, as always
    Update,  // --update: one update cycle, then the exit status
    Show,    // --show: the running program's window, or a new one shown
};

struct CommandLine {
    RunMode mode = RunMode::Tray;
    // --verbose: the FTP and HTTP conversation goes to the log as well.
    bool verbose = false;
    // --settings DIR as given; none for the program's own folder.
    std::optional<QString> settingsFolder;
};

// Exit statuses of the command line, as a shell expects them.
inline constexpr int kExitUpdated = 0;
inline constexpr int kExitUpdateFailed = 1;
inline constexpr int kExitUsage = 2;
// A signal ends a command with 128 plus its number (130 for Ctrl-C).
inline constexpr int kExitBySignalBase = 128;
// How long a start waits for the lock of its settings while a program that
// does not answer on the channel holds it (an --update, whose cycle ends
// within the network limits): longer than any cycle takes.
inline constexpr int kLockWaitMilliseconds = 180000;
// How often it looks again meanwhile.
inline constexpr int kLockRetryMilliseconds = 100;

// "4.6.0".
QString VersionText();

// Either what to run, or the exit status of a start that ends here: --help and
// --version have printed to stdout (0), a usage error to stderr (2).
struct ParsedCommandLine {
    std::optional<CommandLine> command;
    int exitStatus = 0;
};

// arguments[0] is the program itself. Needs no application object: it runs
// before the program knows whether it needs a display.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The settings folder as the program is to use it: canonical (links
// resolved, so that two spellings of one folder share one instance), or
// std::nullopt after a message on stderr when it is missing or cannot be read.
std::optional<QString> UsableSettingsFolder(const QString& folder);

// What the single-instance lock is named after: the executable and the
// settings folder it uses (canonical), named or its own, so that each folder
// has its own running program, and an --update for a folder finds the tray
// program that uses it, however either was started.
std::string InstanceKey(const QString& executablePath, const QString& settingsFolder);

// --update, after the application object exists: runs one cycle holding the
// lock at lockPath, or has the program holding it run one. Prints each status
// text on its own line as it comes; returns the exit status (0, 1, or 128 plus
// the signal that ended it). Never writes the settings or the list file.
int RunUpdateCommand(const std::string& lockPath, const ProgramFiles& files);

}  // namespace quendrel
