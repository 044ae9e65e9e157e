#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_log.h"
#include "app/instance_channel.h"
#include "app/single_instance.h"
#include "app/unix_signals.h"
#include "app/update_driver.h"
#include "common/program_state.h"
#include "settings/settings_model.h"
#include "update/update_failure.h"
#include "version.h"

namespace quendrel {

namespace {

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// A status text as it comes, flushed at once: cron, systemd and pipes see
// each line when it happens, not when the program ends.
void PrintStatusLine(const QString& text)
{
    Print(stdout, text + QLatin1Char('\n'));
}

// The first SIGTERM, SIGINT or SIGHUP that came, for as long as this lives.
class StopSignal {
public:
    StopSignal()
    {
        QObject::connect(&signals_, &UnixSignals::TerminationRequested, &signals_, [this](int number) {
            if (number_ == 0)
                number_ = number;
        });
    }

    bool Came() const { return number_ != 0; }
    int ExitStatus() const { return kExitBySignalBase + number_; }
    const UnixSignals& Source() const { return signals_; }

    // Lets the signal in (it arrives through the event loop); true once one came.
    bool Poll()
    {
        QCoreApplication::processEvents();
        return Came();
    }

    // Waits for milliseconds, or less when a signal comes; true when one came.
    bool Wait(int milliseconds)
    {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        QObject::connect(&signals_, &UnixSignals::TerminationRequested, &loop, &QEventLoop::quit);
        if (!Came())
            loop.exec();
        return Came();
    }

private:
    UnixSignals signals_;
    int number_ = 0;
};

// One cycle in this process, reported line by line. Reads the settings and
// the list file and writes neither: what a cycle changes in the settings (a
// port reset) stays in memory.
int RunOneUpdate(const ProgramFiles& files, StopSignal& stop)
{
    SettingsModel settings;
    ProgramState state;
    SyncIPWebPageList(settings, ListFileMode::Load, files);
    LoadSettings(settings, files);
    // The page is written where the settings are kept, as in the tray.
    UpdateDriver driver(settings, state, QFileInfo(files.settingsFile).absolutePath());
    QObject::connect(&state, &ProgramState::StatusTextSet, &state, &PrintStatusLine);

    std::optional<int> status;
    QEventLoop loop;
    QObject::connect(&driver, &UpdateDriver::UpdateEnded, &loop, [&] {
        status = state.Image() == StateImage::Failed ? kExitUpdateFailed : kExitUpdated;
        loop.quit();
    });
    QObject::connect(&stop.Source(), &UnixSignals::TerminationRequested, &loop, [&] {
        // Waits for the cycle's thread (about a second at most); its page
        // file is written whole or not at all.
        driver.Cancel();
        status = stop.ExitStatus();
        loop.quit();
    });
    driver.DoUpdate();  // a cycle refused before it starts has ended here already
    if (!status)
        loop.exec();
    return *status;
}

// The help, its usage line naming the program as it was called. The parser
// names it from the application object, which does not exist yet.
QString HelpText(const QCommandLineParser& parser, const QString& program)
{
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"), QFileInfo(program).fileName());
    return text;
}

}  // namespace

QString VersionText()
{
    return QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Publishes this computer's public IP address as a web page by FTP.\n"
                       "Without options it runs in the notification area."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version and exits."));
    const QCommandLineOption update(
        QStringLiteral("update"),
        QStringLiteral("Runs one update with the stored settings, prints its status texts and exits: "
                       "0 when the page was uploaded, 1 when the update failed."));
    const QCommandLineOption show(QStringLiteral("show"),
                                  QStringLiteral("Shows the window of the running program, or starts it shown."));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Uses Quendrel.ini, the list of IP web pages and temp.htm in <folder>."),
        QStringLiteral("folder"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Also logs the FTP and HTTP conversation."));
    parser.addOptions({help, version, update, show, settings, verbose});

    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    else if (parser.isSet(update) && parser.isSet(show))
        error = QStringLiteral("--update and --show cannot be given together.");
    if (!error.isEmpty()) {
        Print(stderr, QLatin1String(kAppTitle) + QStringLiteral(": ") + error + QStringLiteral("\n\n") +
                          HelpText(parser, arguments.value(0)));
        return {std::nullopt, kExitUsage};
    }
    if (parser.isSet(help)) {
        Print(stdout, HelpText(parser, arguments.value(0)));
        return {std::nullopt, 0};
    }
    if (parser.isSet(version)) {
        Print(stdout, QLatin1String(kAppTitle) + QLatin1Char(' ') + VersionText() + QLatin1Char('\n'));
        return {std::nullopt, 0};
    }
    CommandLine command;
    command.mode = parser.isSet(update) ? RunMode::Update : parser.isSet(show) ? RunMode::Show : RunMode::Tray;
    command.verbose = parser.isSet(verbose);
    if (parser.isSet(settings))
        command.settingsFolder = parser.value(settings);
    return {command, 0};
}

std::optional<QString> UsableSettingsFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    int error = 0;
    if (::stat(path.constData(), &info) != 0)
        error = errno;
    else if (!S_ISDIR(info.st_mode))
        error = ENOTDIR;
    // Reading the files and writing the page both need the folder's x bit.
    else if (::access(path.constData(), R_OK | X_OK) != 0)
        error = errno;
    if (error != 0) {
        Print(stderr, QStringLiteral("%1: cannot use the settings folder \"%2\": %3\n")
                          .arg(QLatin1String(kAppTitle), folder, SystemErrorText(error)));
        return std::nullopt;
    }
    return QFileInfo(folder).canonicalFilePath();
}

std::string InstanceKey(const QString& executablePath, const QString& settingsFolder)
{
    return (executablePath + QLatin1Char('\n') + settingsFolder).toStdString();
}

int RunUpdateCommand(const std::string& lockPath, const ProgramFiles& files)
{
    StopSignal stop;
    const QString channel = ChannelPathFor(QString::fromStdString(lockPath));
    // Held until the end: no other cycle for these settings runs beside ours.
    SingleInstanceLock lock;
    bool toldWaiting = false;
    const QDeadlineTimer giveUp(kLockWaitMilliseconds);
    while (!lock.TryAcquire(lockPath)) {
        const std::optional<int> answer =
            AskRunningInstance(channel, kUpdateCommand, &PrintStatusLine, [&stop] { return stop.Poll(); });
        if (answer) {
            qCInfo(lcApp, "the update ran in the program running in the tray for these settings");
            return *answer;
        }
        if (!toldWaiting) {
            qCInfo(lcApp, "another update for these settings is running; waiting for it to end");
            toldWaiting = true;
        }
        if (stop.Came() || stop.Wait(kLockRetryMilliseconds))
            return stop.ExitStatus();
        if (giveUp.hasExpired()) {
            Print(stderr, QStringLiteral("%1: the program holding these settings does not answer\n")
                              .arg(QLatin1String(kAppTitle)));
            return kExitUpdateFailed;
        }
    }
    if (stop.Poll())
        return stop.ExitStatus();
    return RunOneUpdate(files, stop);
}

}  // namespace quendrel
