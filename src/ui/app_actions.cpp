#include "ui/app_actions.h"

#include <QAction>
#include <QMenu>

#include "common/program_state.h"

namespace quendrel {

namespace {

QAction* Action(QObject* owner, const char* name, const char* text)
{
    auto* action = new QAction(QLatin1String(text), owner);
    action->setObjectName(QLatin1String(name));
    return action;
}

}  // namespace

AppActions::AppActions(const ProgramState& state, QObject* parent)
    : QObject(parent), mnuTray_(std::make_unique<QMenu>(QStringLiteral("Tray")))
{
    // Plain captions: no access keys, no shortcuts.
    mnuShow = Action(this, "mnuShow", "Show");
    mnuUpdate = Action(this, "mnuUpdate", "Update");
    mnuCopyIP = Action(this, "mnuCopyIP", "Copy IP");
    mnuHelp = Action(this, "mnuHelp", "Help");
    mnuAbout = Action(this, "mnuAbout", "About");
    mnuExit = Action(this, "mnuExit", "Exit");

    mnuTray_->setObjectName(QStringLiteral("mnuTray"));
    mnuTray_->addActions({mnuShow, mnuUpdate, mnuCopyIP});
    mnuTray_->addSeparator()->setObjectName(QStringLiteral("mnuSep1"));
    mnuTray_->addActions({mnuHelp, mnuAbout});
    mnuTray_->addSeparator()->setObjectName(QStringLiteral("mnuSep2"));
    mnuTray_->addAction(mnuExit);

    // No update starts beside a test of the settings.
    mnuUpdate->setEnabled(!state.Testing());
    connect(&state, &ProgramState::TestingChanged, mnuUpdate,
            [this](bool testing) { mnuUpdate->setEnabled(!testing); });
    mnuCopyIP->setEnabled(!state.CurrentIP().isEmpty());
    connect(&state, &ProgramState::CurrentIPChanged, mnuCopyIP,
            [this](const QString& address) { mnuCopyIP->setEnabled(!address.isEmpty()); });
}

AppActions::~AppActions() = default;

void AppActions::FollowWindowVisibility(bool windowVisible)
{
    mnuShow->setText(windowVisible ? QStringLiteral("Hide") : QStringLiteral("Show"));
}

}  // namespace quendrel
