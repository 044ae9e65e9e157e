#pragma once

#include <QUrl>

#include <functional>

namespace quendrel {

// Hands a URL to the desktop (browser, mail program, help viewer). Windows
// take one of these so that tests can see what would have been opened.
using UrlOpener = std::function<void(const QUrl&)>;

UrlOpener DesktopUrlOpener();

// Opens the help file beside the executable when there is one; otherwise
// nothing happens.
void ShowHelp(const UrlOpener& open, const QString& helpFilePath);

}  // namespace quendrel
