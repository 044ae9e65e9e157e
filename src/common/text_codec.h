#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace quendrel {

// What a byte order mark at the very start of UTF-8 bytes is: the mark of a
// whole file's encoding, no part of its text; or the first character
// (U+FEFF) of a single stored value that happens to begin with it.
enum class LeadingBom { Mark, Character };

// Stored texts are UTF-8. Bytes that are not valid UTF-8 are taken as
// Windows-1252, so settings files and passwords written by earlier releases
// read as they are.
QString DecodeLenient(QByteArrayView bytes, LeadingBom bom = LeadingBom::Mark);

// Windows-1252 to Unicode; the five codes it leaves undefined map to the
// C1 control of the same number.
QString DecodeWindows1252(QByteArrayView bytes);

bool IsValidUtf8(QByteArrayView bytes);

}  // namespace quendrel
