#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "common/program_state.h"
#include "ui/state_images.h"
#include "update/update_cycle.h"

namespace quendrel {

class FrmMain;
class TrayIcon;

// Runs update cycles for the window: takes the inputs from its controls,
// validates them, shows the busy state, runs the steps off the window
// thread and reports the outcome in the status bar, the window's icon, the
// tray and CurrentIP.
class UpdateDriver : public QObject {
    Q_OBJECT

public:
    // The page is written into programDirectory.
    UpdateDriver(FrmMain& window, TrayIcon& tray, ProgramState& state, QString programDirectory,
                 QObject* parent = nullptr);

    // One cycle; ignored while one runs.
    void DoUpdate();
    bool IsRunning() const { return cycle_.IsRunning(); }
    // Calls off a running cycle (within about a second); nothing is reported.
    void Cancel();

signals:
    // A cycle has ended and shown its outcome.
    void UpdateEnded();

private:
    void ShowState(StateImage image, const QString& tip);
    void OnStatus(const QString& text);
    void OnFinished(const QString& address, const std::optional<UpdateFailure>& failure);
    void ReportFailure(const UpdateFailure& failure);
    void EnableUpdateButton();

    QPointer<FrmMain> window_;
    TrayIcon& tray_;
    ProgramState& state_;
    QString programDirectory_;
    UpdateCycle cycle_;
    // The running cycle's start, for its success report.
    QString dateText_;
    QString timeText_;
};

}  // namespace quendrel
