#pragma once

#include <QObject>
#include <QString>

#include "common/program_state.h"
#include "update/update_cycle.h"

namespace quendrel {

class SettingsModel;

// Tries the settings as they stand in the window, saved or not, without
// publishing anything: the FTP login and remote directory, or the address
// an update would take. Runs off the main thread as an update does, never
// beside one, and shows its outcome in the status bar and its tool tip only
// (the tray picture, CurrentIP and the stored settings stay as they are).
class SettingsTestDriver : public QObject {
    Q_OBJECT

public:
    SettingsTestDriver(SettingsModel& settings, ProgramState& state, QString programDirectory,
                       QObject* parent = nullptr);

    // Each ignored while a test or an update runs.
    void TestFtpLogin();
    void TestAddress();
    bool IsRunning() const { return cycle_.IsRunning(); }
    // Calls off a running test (within about a second); nothing is reported.
    void Cancel();

signals:
    // A test has ended and shown its outcome.
    void TestEnded();

private:
    using TestSteps = UpdateOutcome (*)(const UpdateInputs&, const StatusReporter&, std::stop_token);
    void Start(TestSteps steps);
    void OnFinished(const UpdateOutcome& outcome);
    void Show(const QString& text, const QString& detail);

    SettingsModel& settings_;
    ProgramState& state_;
    QString programDirectory_;
    UpdateCycle cycle_;
};

}  // namespace quendrel
