#include "app/settings_test_driver.h"

#include "app/update_driver.h"
#include "update/update_log.h"

namespace quendrel {

SettingsTestDriver::SettingsTestDriver(SettingsModel& settings, ProgramState& state, QString programDirectory,
                                       QObject* parent)
    : QObject(parent), settings_(settings), state_(state), programDirectory_(std::move(programDirectory))
{
    connect(&cycle_, &UpdateCycle::StatusChanged, &state_, &ProgramState::SetStatusText);
    connect(&cycle_, &UpdateCycle::Finished, this, &SettingsTestDriver::OnFinished);
}

void SettingsTestDriver::TestFtpLogin()
{
    Start(&RunFtpTest);
}

void SettingsTestDriver::TestAddress()
{
    Start(&RunPageTest);
}

void SettingsTestDriver::Start(TestSteps steps)
{
    if (cycle_.IsRunning() || state_.Updating())
        return;
    // Read only: a test leaves even the port box as it is.
    const TakenInputs taken = TakeUpdateInputs(settings_, QDateTime::currentDateTime(), programDirectory_, true);
    if (taken.failure) {
        qCWarning(lcUpdate, "Test not started: %s (%s)", qUtf8Printable(taken.failure->message),
                  qUtf8Printable(taken.failure->detail));
        Show(taken.failure->message, taken.failure->detail);
        emit TestEnded();
        return;
    }
    state_.SetStatusDetail(QString());
    state_.SetTesting(true);
    cycle_.Start([steps, inputs = taken.inputs](const StatusReporter& status, std::stop_token stop) {
        return steps(inputs, status, std::move(stop));
    });
}

void SettingsTestDriver::Cancel()
{
    cycle_.Cancel();
    state_.SetTesting(false);
}

void SettingsTestDriver::OnFinished(const UpdateOutcome& outcome)
{
    if (outcome.failure)
        Show(outcome.failure->message, outcome.failure->detail);
    else
        Show(QStringLiteral("Test: ") + outcome.address, outcome.detail);
    state_.SetOfferedServerKey(outcome.failure ? outcome.failure->offeredKey : QString());
    state_.SetTesting(false);
    emit TestEnded();
}

void SettingsTestDriver::Show(const QString& text, const QString& detail)
{
    state_.SetStatusText(FramedStatus(text));
    state_.SetStatusDetail(detail);
}

}  // namespace quendrel
