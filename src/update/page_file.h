#pragma once

#include <QString>

#include <optional>

#include "update/update_failure.h"

namespace quendrel {

// The name of the page written before each upload, in the directory where
// the program keeps its files.
inline const QString kPageFileName = QStringLiteral("temp.htm");

struct PageContent {
    bool defaultPage = true;
    // The user's template, when not the default page.
    QString templatePath;
    QString address;
    QString dateText;
    QString timeText;
};

// The built-in page: one line with the address, the date and the time.
QString DefaultPageLine(const QString& address, const QString& dateText, const QString& timeText);

// The template's lines, each ended by CR LF whatever ended it before, with
// "<IP>", "<DATE>" and "<TIME>" replaced in that order (case counts).
QString FillTemplate(const QString& templateText, const PageContent& content);

// Writes the page, followed by CR LF, as UTF-8 into pagePath, whole or not
// at all. A missing or hidden template is "Can't find Source File"; a file
// that cannot be read (or is over kMaxReadSize) or written is an unexpected
// error with the system's description and number. The detail names the
// file and the system's reason.
std::optional<UpdateFailure> CreatePageFile(const PageContent& content, const QString& pagePath);

}  // namespace quendrel
