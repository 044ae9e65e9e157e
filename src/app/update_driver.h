#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

#include "common/program_state.h"
#include "update/update_cycle.h"
#include "update/outcome_notices.h"
#include "update/update_inputs.h"

namespace quendrel {

class SettingsModel;

struct TakenInputs {
    UpdateInputs inputs;
    // The port setting held a number no port can have.
    std::optional<UpdateFailure> failure;
};

// Reads what an update cycle needs from the settings, once, trimmed. A port
// that is empty or no number is taken as 21, and set back to "21" unless
// the settings are only to be read.
TakenInputs TakeUpdateInputs(SettingsModel& settings, const QDateTime& now, const QString& programDirectory,
                             bool readOnly = false);

// A status text as the status bar and the tray tip show it: "Quendrel (text)".
QString FramedStatus(const QString& text);

// Runs update cycles with the settings: validates them, shows the busy
// state, runs the steps off the main thread and reports the outcome in the
// program state (status text, picture, tip, CurrentIP, a failure's detail),
// which the window and the tray show. Logs a start and a refusal; the
// steps log the rest.
class UpdateDriver : public QObject {
    Q_OBJECT

public:
    // The page is written into programDirectory.
    UpdateDriver(SettingsModel& settings, ProgramState& state, QString programDirectory, QObject* parent = nullptr);

    // One cycle; ignored while one runs.
    void DoUpdate();
    bool IsRunning() const { return cycle_.IsRunning(); }
    // Calls off a running cycle (within about a second); nothing is reported.
    void Cancel();

signals:
    // A cycle has ended and shown its outcome.
    void UpdateEnded();
    // Something about the updates is worth a desktop notification, and the
    // user wants them ("Notify me").
    void NoticeRaised(const Notice& notice);

private:
    void OnFinished(const UpdateOutcome& outcome);
    void ReportFailure(const UpdateFailure& failure);
    void Report(StateImage image, const QString& text);
    void Raise(const std::optional<Notice>& notice);

    SettingsModel& settings_;
    ProgramState& state_;
    QString programDirectory_;
    UpdateCycle cycle_;
    OutcomeNotices notices_;
    // The running cycle's start, for its success report.
    QString dateText_;
    QString timeText_;
};

}  // namespace quendrel
