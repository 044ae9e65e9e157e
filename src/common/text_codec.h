#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace quendrel {

// Stored texts are UTF-8. Bytes that are not valid UTF-8 are taken as
// Windows-1252, so settings files and passwords written by earlier releases
// read as they are.
QString DecodeLenient(QByteArrayView bytes);

// Windows-1252 to Unicode; the five codes it leaves undefined map to the
// C1 control of the same number.
QString DecodeWindows1252(QByteArrayView bytes);

bool IsValidUtf8(QByteArrayView bytes);

}  // namespace quendrel
