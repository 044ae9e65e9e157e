#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <optional>

#include "common/program_state.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/settings_binding.h"
#include "ui/url_opener.h"

namespace quendrel {

class TrayIcon;
class UpdateDriver;

// Owns the main window and the tray icon for the whole run, and the About
// window while it is open; runs the main window's load, resize and unload
// steps and decides when the program has ended.
class Lifecycle : public QObject {
    Q_OBJECT

public:
    // The settings and list files are the program's own unless given.
    explicit Lifecycle(UrlOpener open = DesktopUrlOpener(), std::optional<ProgramFiles> files = std::nullopt,
                       QObject* parent = nullptr);
    ~Lifecycle() override;

    // Creates the main window hidden and runs its load step. The window is
    // shown instead when there is no notification area to reach it from.
    void Load();

    // Exit from a menu: the main window and the tray icon go at once; the
    // program ends when no About window is left open.
    void Exit();

    // A signal or the end of the desktop session: unload and end now.
    void EndNow();

    // Writes the list of IP web pages and the settings from the window.
    void SaveAll();

    // Timer1's one-second tick: counts time and starts the scheduled updates.
    void OnTimer1Tick();

    ProgramState& State() { return state_; }
    FrmMain* MainWindow() const { return frmMain_; }
    FrmAbout* AboutWindow() const { return frmAbout_; }
    TrayIcon* Tray() const { return tray_; }
    // True while an update cycle runs.
    bool IsUpdating() const;

signals:
    // The program has nothing left open and should end with status 0.
    // Raised once.
    void Finished();
    // An update cycle begins, whatever asked for it.
    void UpdateStarted();
    // An update cycle has ended and shown its outcome.
    void UpdateEnded();

private:
    void OnResize();
    void DoUpdate();
    void ShowAbout();
    void Unload();
    void Finish();

    UrlOpener open_;
    ProgramFiles files_;
    ProgramState state_;
    QIcon StartupIcon;
    QPointer<FrmMain> frmMain_;
    QPointer<FrmAbout> frmAbout_;
    TrayIcon* tray_;
    UpdateDriver* updateDriver_ = nullptr;
    bool unloaded_ = false;
    bool finished_ = false;
};

}  // namespace quendrel
