#pragma once

#include <QUrl>

#include <functional>

namespace quendrel {

// Hands a URL to the desktop (browser, mail program, help viewer). Windows
// take one of these so that tests can see what would have been opened.
using UrlOpener = std::function<void(const QUrl&)>;

UrlOpener DesktopUrlOpener();

// Opens the help file (HelpFilePath()) when there is one; an empty path, a
// missing file, a folder or a hidden file opens nothing.
void ShowHelp(const UrlOpener& open, const QString& helpFilePath);

}  // namespace quendrel
