#pragma once

#include <QString>

namespace quendrel {

// "Quendrel 4.6": the main window's caption.
QString MainWindowCaption();

// " v4.6.0": the About window's version line; the revision always shows.
QString AboutVersionLine();

}  // namespace quendrel
