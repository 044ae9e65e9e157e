#include "app/lifecycle.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/update_driver.h"
#include "common/app_identity.h"
#include "common/program_paths.h"
#include "schedule/scheduler.h"
#include "ui/close_suppression.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/settings_binding.h"
#include "ui/tray_icon.h"
#include "version.h"

namespace quendrel {

Lifecycle::Lifecycle(UrlOpener open, std::optional<ProgramFiles> files, QObject* parent)
    : QObject(parent),
      open_(std::move(open)),
      files_(files ? std::move(*files) : ProgramFiles::In(WritableDirectory())),
      tray_(new TrayIcon(this))
{
}

Lifecycle::~Lifecycle()
{
    if (updateDriver_)
        updateDriver_->Cancel();
    if (frmAbout_)
        frmAbout_->disconnect(this);
    delete frmAbout_.data();
    delete frmMain_.data();
}

void Lifecycle::Load()
{
    frmMain_ = new FrmMain(state_);
    FrmMain& window = *frmMain_;

    SuppressCloseCommand(&window);
    StartupIcon = window.windowIcon();
    tray_->AddTrayIcon(StartupIcon, QLatin1String(kAppTitle), window.mnuTray);
    window.setWindowTitle(MainWindowCaption());
    window.SetStatusText(QLatin1String(kAppTitle));
    state_.StartPending = true;
    state_.TickCounter = 0;
    SyncIPWebPageList(window, ListFileMode::Load, files_);
    LoadSettings(window, files_);
    // The page is written where the settings are kept.
    updateDriver_ = new UpdateDriver(window, *tray_, state_, QFileInfo(files_.settingsFile).absolutePath(), this);
    connect(updateDriver_, &UpdateDriver::UpdateEnded, this, &Lifecycle::UpdateEnded);

    connect(&window, &FrmMain::ResizeNotified, this, &Lifecycle::OnResize);
    connect(window.Timer1, &QTimer::timeout, this, &Lifecycle::OnTimer1Tick);
    connect(&window, &FrmMain::UpdateRequested, this, &Lifecycle::DoUpdate);
    connect(&window, &FrmMain::ExitRequested, this, &Lifecycle::Exit);
    connect(&window, &FrmMain::HelpRequested, this, [this] { ShowHelp(open_, HelpFilePath()); });
    connect(&window, &FrmMain::AboutRequested, this, &Lifecycle::ShowAbout);
    connect(tray_, &TrayIcon::LeftClicked, &window, &FrmMain::ToggleFromTray);
    window.Timer1->start();

    // Without a notification area the hidden window could never be reached.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        window.ShowWithFocus();
}

void Lifecycle::OnResize()
{
    if (!frmMain_ || unloaded_)
        return;
    FrmMain& window = *frmMain_;
    SaveAll();
    if (window.isMinimized()) {
        // Minimising sends the window to the tray, in its normal state so
        // that it comes back at its size when shown again. The state goes
        // first: on X11, leaving the minimised state maps the window, which
        // after hide() would leave a mapped window that Qt thinks is hidden.
        QTimer::singleShot(0, &window, [&window] {
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.hide();
        });
    }
}

void Lifecycle::OnTimer1Tick()
{
    if (!frmMain_)
        return;
    const FrmMain& window = *frmMain_;
    const TickInputs inputs{window.chkUpdateOnStart->isChecked(), window.chkUpdateDelay->isChecked(),
                            window.Slider1->value(), IsUpdating()};
    if (SchedulerTick(state_, inputs))
        DoUpdate();
}

bool Lifecycle::IsUpdating() const
{
    return updateDriver_ && updateDriver_->IsRunning();
}

void Lifecycle::DoUpdate()
{
    // One cycle at a time: a trigger during a cycle is ignored.
    if (!updateDriver_ || unloaded_ || IsUpdating())
        return;
    emit UpdateStarted();
    updateDriver_->DoUpdate();
}

void Lifecycle::ShowAbout()
{
    if (!frmAbout_) {
        frmAbout_ = new FrmAbout(open_);
        connect(frmAbout_, &QObject::destroyed, this, [this] {
            if (unloaded_)
                Finish();
        });
    }
    // Also when it was minimised: show() alone would leave it so.
    frmAbout_->setWindowState(frmAbout_->windowState() & ~Qt::WindowMinimized);
    frmAbout_->show();
    frmAbout_->raise();
    frmAbout_->activateWindow();
}

void Lifecycle::Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // A running cycle is called off first; it reports nothing afterwards.
    if (updateDriver_)
        updateDriver_->Cancel();
    if (frmMain_) {
        FrmMain& window = *frmMain_;
        window.Timer1->stop();
        // Storage failures are not reported here; the tray icon goes regardless.
        SaveAll();
        window.hide();
        // Deleted later: Exit may have come from one of its own menus.
        window.deleteLater();
    }
    tray_->DeleteTrayIcon();
}

void Lifecycle::SaveAll()
{
    if (!frmMain_)
        return;
    SyncIPWebPageList(*frmMain_, ListFileMode::Save, files_);
    SaveSettings(*frmMain_, files_);
}

void Lifecycle::Exit()
{
    Unload();
    if (!frmAbout_)
        Finish();
}

void Lifecycle::EndNow()
{
    Unload();
    if (frmAbout_) {
        frmAbout_->hide();
        frmAbout_->deleteLater();
    }
    Finish();
}

void Lifecycle::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    emit Finished();
}

}  // namespace quendrel
