#pragma once

#include <QIcon>

namespace quendrel {

// The window's own icon, as loaded: also the ready image and the tray icon's
// first picture.
QIcon WindowIcon();

// The three state images shown in the window and the tray after an update
// starts, numbered as the image list has them.
enum class StateImage { Ready = 1, Busy = 2, Failed = 3 };

class ImageList {
public:
    ImageList();
    QIcon Image(StateImage which) const;

private:
    QIcon ready_, busy_, failed_;
};

}  // namespace quendrel
