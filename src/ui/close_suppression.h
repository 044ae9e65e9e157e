#pragma once

class QWidget;

namespace quendrel {

// Leaves the window's frame without a close control and makes every close
// request from outside (frame button, Alt+F4, the window manager's close) do
// nothing. The
// window is then left only by hiding it or by the program's Exit.
// Does nothing for a null pointer or a widget that is not a window, and
// nothing more when called a second time.
void SuppressCloseCommand(QWidget* window);

}  // namespace quendrel
