#include "ui/tray_icon.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include "version.h"

namespace quendrel {

namespace {
constexpr int kTipLength = 63;
// Long enough to read two lines; a notification service may keep it longer.
constexpr int kMessageMilliseconds = 10000;
}

QString TrayTip(const QString& text)
{
    if (text.size() <= kTipLength)
        return text;
    int length = kTipLength;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this))
{
    // Only the single left click counts; the second press of a double click
    // arrives as a double click and is ignored, so a double click toggles once.
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit LeftClicked();
    });
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::AddTrayIcon(const QIcon& picture, const QString& tip, QMenu* menu)
{
    icon_->setContextMenu(menu);
    ModifyTrayIcon(picture, tip);
    // Shown even when no tray runs yet: the icon then appears once one starts.
    icon_->show();
}

void TrayIcon::ModifyTrayIcon(const QIcon& picture, const QString& tip)
{
    icon_->setIcon(picture);
    icon_->setToolTip(TrayTip(tip));
}

void TrayIcon::DeleteTrayIcon()
{
    icon_->hide();
    icon_->setContextMenu(nullptr);
}

void TrayIcon::ShowMessage(const QString& text, bool warning)
{
    icon_->showMessage(QLatin1String(kAppTitle), text,
                       warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information, kMessageMilliseconds);
    emit MessageShown(text);
}

QString TrayIcon::Tip() const
{
    return icon_->toolTip();
}

bool TrayIcon::IsShown() const
{
    return icon_->isVisible();
}

}  // namespace quendrel
