#include "settings/atomic_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quendrel {

bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (permissions && !file.setPermissions(*permissions)) {
        file.cancelWriting();
        return false;
    }
    // The explicit flush: QSaveFile's commit renames a file whose last
    // write came up short (a full disk, a size limit) as if all were well.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool WriteFileIfChanged(const QString& path, const QByteArray& bytes,
                        std::optional<QFileDevice::Permissions> permissions)
{
    // Qt adds the bits for "the current user" to the owner's; they are not the file's.
    const auto userBits = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    const bool samePermissions = !permissions || (QFile::permissions(path) & ~userBits) == *permissions;
    if (samePermissions && ReadWholeFile(path) == bytes)
        return true;
    return WriteFileAtomically(path, bytes, permissions);
}

std::optional<QByteArray> ReadWholeFile(const QString& path)
{
    // A FIFO would block the program for good, a device or a huge file
    // would fill its memory: only regular files of sane size are read.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxReadSize)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // readAll, not read(limit): that would reserve the whole limit each time.
    QByteArray bytes = file.readAll();
    if (bytes.size() > kMaxReadSize)
        return std::nullopt;
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

}  // namespace quendrel
