#pragma once

#include <QIcon>

#include "common/program_state.h"

namespace quendrel {

// The window's own icon, as loaded: also the ready image and the tray icon's
// first picture.
QIcon WindowIcon();

class ImageList {
public:
    ImageList();
    QIcon Image(StateImage which) const;

private:
    QIcon ready_, busy_, failed_;
};

}  // namespace quendrel
