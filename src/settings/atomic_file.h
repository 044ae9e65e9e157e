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

// Far beyond any file of the program's own.
inline constexpr qint64 kMaxReadSize = 64 * 1024 * 1024;

// As WriteFileAtomically, but a file that already holds these bytes (and
// the permissions asked for) is left untouched: saves come at every
// minimise, and most change nothing.
bool WriteFileIfChanged(const QString& path, const QByteArray& bytes,
                        std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The file's bytes, or nothing when it cannot be read, is not a regular file
// (a FIFO, a device) or is larger than kMaxReadSize.
std::optional<QByteArray> ReadWholeFile(const QString& path);

}  // namespace quendrel
