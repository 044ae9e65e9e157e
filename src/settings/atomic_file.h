#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

#include "common/file_io.h"

namespace quendrel {

// The file layer is common/file_io.h; this is its older entry point, with
// Qt's permission flags and a plain success, for the code that still uses it.
// With permissions given the file gets exactly those; otherwise an existing
// file keeps its own. Links are written through.
inline bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                                std::optional<QFileDevice::Permissions> permissions = std::nullopt)
{
    WriteRules rules;
    if (permissions)
        rules.mode = ModeOf(*permissions);
    return WriteWholeFile(path, bytes, rules) == 0;
}

}  // namespace quendrel
