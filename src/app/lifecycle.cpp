#include "app/lifecycle.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/app_log.h"
#include "app/settings_test_driver.h"
#include "app/system_events.h"
#include "app/update_driver.h"
#include "common/program_paths.h"
#include "schedule/catch_up_update.h"
#include "schedule/scheduler.h"
#include "ui/app_actions.h"
#include "ui/close_suppression.h"
#include "ui/state_images.h"
#include "ui/tray_icon.h"
#include "version.h"

namespace quendrel {

Lifecycle::Lifecycle(UrlOpener open, std::optional<ProgramFiles> files, SystemEvents* events, QObject* parent)
    : QObject(parent),
      open_(std::move(open)),
      files_(files ? std::move(*files) : ProgramFiles::In(WritableDirectory())),
      actions_(new AppActions(state_, this)),
      tray_(new TrayIcon(this)),
      // A test counts as a running cycle: no update is due beside it.
      scheduler_(new Scheduler(state_, settings_, [this] { return IsBusy(); }, this)),
      catchUp_(new CatchUpUpdate(state_, [this] { return IsBusy(); }, lcApp(), {}, this)),
      // The page is written where the settings are kept.
      updateDriver_(new UpdateDriver(settings_, state_, QFileInfo(files_.settingsFile).absolutePath(), this)),
      testDriver_(new SettingsTestDriver(settings_, state_, QFileInfo(files_.settingsFile).absolutePath(), this))
{
    connect(testDriver_, &SettingsTestDriver::TestEnded, this, &Lifecycle::TestEnded);
    connect(updateDriver_, &UpdateDriver::UpdateEnded, this, &Lifecycle::UpdateEnded);
    connect(updateDriver_, &UpdateDriver::NoticeRaised, tray_,
            [this](const Notice& notice) { tray_->ShowMessage(notice.text, notice.warning); });
    connect(scheduler_, &Scheduler::UpdateDue, this, &Lifecycle::DoUpdate);
    ConnectSystemEvents(events ? events : new DesktopSystemEvents);
    connect(&state_, &ProgramState::StateShown, this, &Lifecycle::RenderTray);
    connect(tray_, &TrayIcon::LeftClicked, this, &Lifecycle::ToggleMainWindow);
    ConnectActions();
}

Lifecycle::~Lifecycle()
{
    updateDriver_->Cancel();
    testDriver_->Cancel();
    if (frmAbout_)
        frmAbout_->disconnect(this);
    delete frmAbout_.data();
    delete frmMain_.data();
}

void Lifecycle::ConnectSystemEvents(SystemEvents* events)
{
    events->setParent(this);
    connect(events, &SystemEvents::NetworkRestored, catchUp_, &CatchUpUpdate::EventSeen);
    connect(events, &SystemEvents::Woke, catchUp_, &CatchUpUpdate::EventSeen);
    connect(catchUp_, &CatchUpUpdate::UpdateDue, this, &Lifecycle::DoUpdate);
    // Queued: whoever else hears of the cycle's end hears of it before the next one starts.
    connect(this, &Lifecycle::UpdateEnded, catchUp_, &CatchUpUpdate::CycleEnded, Qt::QueuedConnection);
    connect(testDriver_, &SettingsTestDriver::TestEnded, catchUp_, &CatchUpUpdate::CycleEnded, Qt::QueuedConnection);
}

void Lifecycle::ConnectActions()
{
    AppActions& a = *actions_;
    connect(a.TrayMenu(), &QMenu::aboutToShow, this,
            [this] { actions_->FollowWindowVisibility(frmMain_ && frmMain_->isVisible()); });
    connect(a.mnuShow, &QAction::triggered, this, &Lifecycle::ToggleMainWindow);
    connect(a.mnuUpdate, &QAction::triggered, this, &Lifecycle::DoUpdate);
    connect(a.mnuCopyIP, &QAction::triggered, this, &Lifecycle::CopyIP);
    connect(a.mnuHelp, &QAction::triggered, this, [this] { ShowHelp(open_, HelpFilePath()); });
    connect(a.mnuAbout, &QAction::triggered, this, &Lifecycle::ShowAbout);
    connect(a.mnuExit, &QAction::triggered, this, &Lifecycle::Exit);
}

void Lifecycle::Load()
{
    state_.ShowState(StateImage::Ready, QLatin1String(kAppTitle));
    tray_->AddTrayIcon(images_.Image(state_.Image()), state_.TrayTip(), actions_->TrayMenu());
    state_.SetStatusText(QLatin1String(kAppTitle));
    state_.StartPending = true;
    state_.TickCounter = 0;
    SyncIPWebPageList(settings_, ListFileMode::Load, files_);
    LoadSettings(settings_, files_);
    scheduler_->Start();

    // Without a notification area a hidden window could never be reached.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        ShowMainWindow();
}

FrmMain& Lifecycle::Window()
{
    if (!frmMain_) {
        frmMain_ = new FrmMain(settings_, state_, *actions_);
        SuppressCloseCommand(frmMain_);
        connect(frmMain_, &FrmMain::ResizeNotified, this, &Lifecycle::OnResize);
        connect(frmMain_, &FrmMain::TestFtpRequested, testDriver_, &SettingsTestDriver::TestFtpLogin);
        connect(frmMain_, &FrmMain::TestPageRequested, testDriver_, &SettingsTestDriver::TestAddress);
    }
    return *frmMain_;
}

void Lifecycle::ShowMainWindow()
{
    if (!unloaded_)
        Window().ShowWithFocus();
}

void Lifecycle::ToggleMainWindow()
{
    if (frmMain_ && frmMain_->isVisible())
        frmMain_->hide();
    else
        ShowMainWindow();
}

void Lifecycle::RenderTray()
{
    if (!unloaded_)
        tray_->ModifyTrayIcon(images_.Image(state_.Image()), state_.TrayTip());
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

bool Lifecycle::IsUpdating() const
{
    return updateDriver_->IsRunning();
}

bool Lifecycle::IsTesting() const
{
    return testDriver_->IsRunning();
}

bool Lifecycle::IsBusy() const
{
    return IsUpdating() || IsTesting();
}

void Lifecycle::DoUpdate()
{
    // One cycle at a time, and none beside a test: a trigger meanwhile is ignored.
    if (unloaded_ || IsBusy())
        return;
    emit UpdateStarted();
    updateDriver_->DoUpdate();
}

void Lifecycle::CopyIP()
{
    // Exactly as stored.
    QGuiApplication::clipboard()->setText(state_.CurrentIP());
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
    // A running cycle or test is called off first; it reports nothing afterwards.
    updateDriver_->Cancel();
    testDriver_->Cancel();
    scheduler_->Stop();
    // Storage failures are not reported here; the tray icon goes regardless.
    SaveAll();
    if (frmMain_) {
        frmMain_->hide();
        // Deleted later: Exit may have come from one of its own menus.
        frmMain_->deleteLater();
    }
    tray_->DeleteTrayIcon();
}

void Lifecycle::SaveAll()
{
    SyncIPWebPageList(settings_, ListFileMode::Save, files_);
    SaveSettings(settings_, files_);
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
