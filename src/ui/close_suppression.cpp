#include "ui/close_suppression.h"

#include <QCloseEvent>
#include <QWidget>

namespace quendrel {

namespace {

class CloseRefuser : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Only requests from outside (the frame, the window manager) are
        // refused; Qt's own close at quit or logout must go through, or the
        // program could not end while the window is shown.
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

constexpr char kRefuserName[] = "quendrelCloseRefuser";

}  // namespace

void SuppressCloseCommand(QWidget* window)
{
    if (window == nullptr || !window->isWindow())
        return;
    if (window->findChild<QObject*>(QLatin1String(kRefuserName), Qt::FindDirectChildrenOnly))
        return;

    // Without the close-button hint the window manager is told the window
    // cannot be closed (no button, no Alt+F4 in most window managers).
    Qt::WindowFlags flags = window->windowFlags();
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    flags &= ~Qt::WindowCloseButtonHint;
    const bool wasVisible = window->isVisible();
    window->setWindowFlags(flags);
    if (wasVisible)
        window->show();

    // A window manager may still send a close request; refuse it here.
    auto* refuser = new CloseRefuser(window);
    refuser->setObjectName(QLatin1String(kRefuserName));
    window->installEventFilter(refuser);
}

}  // namespace quendrel
