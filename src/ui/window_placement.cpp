#include "ui/window_placement.h"

#include <QScreen>
#include <QWidget>

namespace quendrel {

void CentreOnScreen(QWidget& window)
{
    const QScreen* where = window.screen();
    if (where == nullptr)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace quendrel
