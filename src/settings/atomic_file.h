#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace quendrel {

// Replaces the file's contents with the bytes, whole or not at all: they go
// to a temporary file beside it, which is renamed over the file only when
// every byte is on disk. With permissions given, the new file gets exactly
// those; otherwise an existing file's permissions are kept. False when
// nothing was changed.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The file's bytes, or nothing when it cannot be read.
std::optional<QByteArray> ReadWholeFile(const QString& path);

}  // namespace quendrel
