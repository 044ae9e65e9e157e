#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quendrel {

// The list file of IP web pages: one entry per line, each in double quotes.

// Every non-empty field of the file, in order. Blanks before a field are
// skipped; a field that starts with a double quote runs to the next double
// quote (commas inside belong to it) or to the line's end; any other field
// runs to the next comma or line end, without its trailing blanks. The rest
// up to and including the next comma or line end is passed over. Lines are
// UTF-8, or Windows-1252 when they are not valid UTF-8.
QStringList ParseIPWebPageList(const QByteArray& bytes);

// The file a save writes: the combo box's text first when no entry equals it
// (case counts), then every entry; each quoted, with CR LF, line breaks
// inside an entry written as blanks.
QByteArray FormatIPWebPageList(const QString& comboText, const QStringList& entries);

// A missing or unreadable file is an empty list.
QStringList LoadIPWebPageList(const QString& path);
// Whole or not at all, and not when the file already holds the same; false
// when the file could not be written.
bool SaveIPWebPageList(const QString& path, const QString& comboText, const QStringList& entries);

}  // namespace quendrel
