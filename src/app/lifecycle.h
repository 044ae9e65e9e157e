#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "common/program_state.h"
#include "settings/settings_file.h"
#include "settings/settings_model.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/state_images.h"
#include "ui/url_opener.h"

namespace quendrel {

class AppActions;
class CatchUpUpdate;
class Scheduler;
class SettingsTestDriver;
class SystemEvents;
class TrayIcon;
class UpdateDriver;

// Holds what lives for the whole run (the settings, the program state, the
// scheduler, the update driver, the shared actions and the tray icon) and
// the windows while they are open: the main window is created the first
// time it is shown. Runs the load, resize and unload steps and decides when
// the program has ended.
class Lifecycle : public QObject {
    Q_OBJECT

public:
    // The settings and list files are the program's own unless given, and so
    // are the network's and the computer's events (given ones become its
    // children).
    explicit Lifecycle(UrlOpener open = DesktopUrlOpener(), std::optional<ProgramFiles> files = std::nullopt,
                       SystemEvents* events = nullptr, QObject* parent = nullptr);
    ~Lifecycle() override;

    // Loads the settings, puts the icon in the tray and starts the timer.
    // The main window is shown when there is no notification area to reach
    // it from.
    void Load();

    // Exit from a menu: the main window and the tray icon go at once; the
    // program ends when no About window is left open.
    void Exit();

    // A signal or the end of the desktop session: unload and end now.
    void EndNow();

    // Writes the list of IP web pages, the settings and the autostart entry.
    void SaveAll();

    // Shows the main window (creating it if need be), or hides it.
    void ShowMainWindow();
    void ToggleMainWindow();

    SettingsModel& Settings() { return settings_; }
    ProgramState& State() { return state_; }
    AppActions& Actions() { return *actions_; }
    Scheduler& Schedule() { return *scheduler_; }
    CatchUpUpdate& CatchUp() { return *catchUp_; }
    // Null until the window is first shown, and after the unload.
    FrmMain* MainWindow() const { return frmMain_; }
    FrmAbout* AboutWindow() const { return frmAbout_; }
    TrayIcon* Tray() const { return tray_; }
    // True while an update cycle runs.
    bool IsUpdating() const;
    // True while a test of the settings runs (no update starts meanwhile).
    bool IsTesting() const;

signals:
    // The program has nothing left open and should end with status 0.
    // Raised once.
    void Finished();
    // An update cycle begins, whatever asked for it.
    void UpdateStarted();
    // An update cycle has ended and shown its outcome.
    void UpdateEnded();
    // A test of the settings (the Test buttons) has ended.
    void TestEnded();

private:
    // An update or a test runs: no other may start.
    bool IsBusy() const;
    FrmMain& Window();
    void ConnectActions();
    void ConnectSystemEvents(SystemEvents* events);
    void RenderTray();
    void OnResize();
    void DoUpdate();
    void CopyIP();
    void ShowAbout();
    void Unload();
    void Finish();

    UrlOpener open_;
    ProgramFiles files_;
    SettingsModel settings_;
    ProgramState state_;
    ImageList images_;
    AppActions* actions_;
    TrayIcon* tray_;
    Scheduler* scheduler_;
    CatchUpUpdate* catchUp_;
    UpdateDriver* updateDriver_;
    SettingsTestDriver* testDriver_;
    QPointer<FrmMain> frmMain_;
    QPointer<FrmAbout> frmAbout_;
    bool unloaded_ = false;
    bool finished_ = false;
};

}  // namespace quendrel
