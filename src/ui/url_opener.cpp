#include "ui/url_opener.h"

#include <QDesktopServices>

#include "common/program_paths.h"

namespace quendrel {

UrlOpener DesktopUrlOpener()
{
    // The desktop's answer is not looked at: a missing viewer is not ours to report.
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

void ShowHelp(const UrlOpener& open, const QString& helpFilePath)
{
    if (IsVisibleRegularFile(helpFilePath))
        open(QUrl::fromLocalFile(helpFilePath));
}

}  // namespace quendrel
