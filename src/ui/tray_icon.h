#pragma once

#include <QObject>
#include <QString>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace quendrel {

// The tip shows at most 63 characters; a longer text keeps its first 63
// (never half of a character that needs two UTF-16 units).
QString TrayTip(const QString& text);

// The program's one icon in the notification area. A left click asks for
// the window to be shown or hidden; the context menu is the tray menu.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void AddTrayIcon(const QIcon& picture, const QString& tip, QMenu* menu);
    void ModifyTrayIcon(const QIcon& picture, const QString& tip);
    void DeleteTrayIcon();

    // A desktop notification from the icon (a balloon where the desktop has
    // no notification service), with the program's title.
    void ShowMessage(const QString& text, bool warning);

    QString Tip() const;
    bool IsShown() const;

signals:
    void LeftClicked();
    // A notification was handed to the desktop.
    void MessageShown(const QString& text);

private:
    QSystemTrayIcon* icon_;
};

}  // namespace quendrel
