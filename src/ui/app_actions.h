#pragma once

#include <QObject>

#include <memory>

class QAction;
class QMenu;

namespace quendrel {

class ProgramState;

// The program's commands, each one QAction shared by the window's menus and
// the tray menu, so that each is enabled and named in one place. They exist
// whether or not a window does.
class AppActions : public QObject {
    Q_OBJECT

public:
    explicit AppActions(const ProgramState& state, QObject* parent = nullptr);
    ~AppActions() override;

    QAction* mnuShow = nullptr;    // "Show" or "Hide", as the window is
    QAction* mnuUpdate = nullptr;
    QAction* mnuCopyIP = nullptr;  // only while there is an address to copy
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuExit = nullptr;

    // The tray's pop-up menu; never on a menu bar.
    QMenu* TrayMenu() const { return mnuTray_.get(); }

    // The Show item names what a click on it will do.
    void FollowWindowVisibility(bool windowVisible);

private:
    std::unique_ptr<QMenu> mnuTray_;
};

}  // namespace quendrel
