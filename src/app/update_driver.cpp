#include "app/update_driver.h"

#include <QPushButton>

#include "ui/frm_main.h"
#include "ui/tray_icon.h"
#include "ui/update_binding.h"
#include "version.h"

namespace quendrel {

namespace {

QString Framed(const QString& text)
{
    return QLatin1String(kAppTitle) + QStringLiteral(" (") + text + QStringLiteral(")");
}

}  // namespace

UpdateDriver::UpdateDriver(FrmMain& window, TrayIcon& tray, ProgramState& state, QString programDirectory,
                           QObject* parent)
    : QObject(parent),
      window_(&window),
      tray_(tray),
      state_(state),
      programDirectory_(std::move(programDirectory))
{
    connect(&cycle_, &UpdateCycle::StatusChanged, this, &UpdateDriver::OnStatus);
    connect(&cycle_, &UpdateCycle::Finished, this, &UpdateDriver::OnFinished);
}

void UpdateDriver::DoUpdate()
{
    if (cycle_.IsRunning() || !window_)
        return;
    FrmMain& window = *window_;
    const TakenInputs taken = TakeUpdateInputs(window, QDateTime::currentDateTime(), programDirectory_);
    std::optional<UpdateFailure> failure = taken.failure;
    if (!failure)
        failure = ValidateUpdateInputs(taken.inputs);
    if (failure) {
        ReportFailure(*failure);
        EnableUpdateButton();
        emit UpdateEnded();
        return;
    }
    dateText_ = taken.inputs.dateText;
    timeText_ = taken.inputs.timeText;
    window.cmdUpdate->setEnabled(false);
    ShowState(StateImage::Busy, QLatin1String(kAppTitle) + QStringLiteral(" - Updating.."));
    cycle_.Start(taken.inputs);
}

void UpdateDriver::Cancel()
{
    cycle_.Cancel();
}

void UpdateDriver::ShowState(StateImage image, const QString& tip)
{
    if (!window_)
        return;
    window_->setWindowIcon(window_->ImageList1.Image(image));
    tray_.ModifyTrayIcon(window_->windowIcon(), tip);
}

void UpdateDriver::OnStatus(const QString& text)
{
    if (window_)
        window_->SetStatusText(text);
}

void UpdateDriver::OnFinished(const QString& address, const std::optional<UpdateFailure>& failure)
{
    if (failure) {
        ReportFailure(*failure);
    } else {
        const QString report = Framed(address + QStringLiteral(" - ") + dateText_ + QStringLiteral(" ") + timeText_);
        ShowState(StateImage::Ready, report);
        OnStatus(report);
        state_.CurrentIP = address;
    }
    EnableUpdateButton();
    emit UpdateEnded();
}

void UpdateDriver::ReportFailure(const UpdateFailure& failure)
{
    const QString report = Framed(failure.message);
    ShowState(StateImage::Failed, report);
    OnStatus(report);
    state_.CurrentIP.clear();
}

void UpdateDriver::EnableUpdateButton()
{
    if (window_)
        window_->cmdUpdate->setEnabled(true);
}

}  // namespace quendrel
