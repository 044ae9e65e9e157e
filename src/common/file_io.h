#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <optional>

namespace quendrel {

// Far beyond any file of the program's own, or any page template.
inline constexpr qint64 kMaxReadSize = 64 * 1024 * 1024;

struct FileBytes {
    QByteArray bytes;
    int error = 0;  // errno of the step that failed; EFBIG for a file over the limit
};

// A regular file's bytes, at most limit of them. Anything else is refused
// unopened, EISDIR for a directory and EINVAL for the rest: a FIFO would
// block the program for good, a device or a huge file would fill its memory.
FileBytes ReadFileBounded(const QString& path, qint64 limit = kMaxReadSize);

// The file's bytes, or nothing when ReadFileBounded fails.
std::optional<QByteArray> ReadWholeFile(const QString& path);

enum class AtLink {
    // The file the symbolic links lead to is replaced, and the links stay
    // (users keep their settings in linked dotfiles).
    WriteThrough,
    // A symbolic link in the file's place is replaced by the file; what it
    // pointed to is left alone.
    Replace,
};

struct WriteRules {
    AtLink atLink = AtLink::WriteThrough;
    // The file's mode whatever it had before.
    std::optional<mode_t> mode;
    // Without a mode, an existing regular file keeps its own and a new one
    // gets this, or 0666 less the umask.
    std::optional<mode_t> newFileMode;
};

// Replaces the file with the bytes, whole or not at all: they go to a hidden
// temporary file beside it, which is synced and renamed over the file. Where
// the file system allows, that file has no name until just before the
// rename, so that a killed program leaves no copy of the bytes behind. On
// any failure the file is untouched and the temporary file gone. With
// WriteThrough, a FIFO or device where the links lead is someone's
// deliberate setup and is left alone (EEXIST). 0 or the errno.
int WriteWholeFile(const QString& path, const QByteArray& bytes, const WriteRules& rules = {});

// As WriteWholeFile, but a file that already holds these bytes (and the
// mode asked for) is left untouched: saves come at every minimise, and most
// change nothing.
int WriteFileIfChanged(const QString& path, const QByteArray& bytes, const WriteRules& rules = {});

// Removes the copies of the file that a save killed before its rename may
// have left beside it (beside the file its links lead to): ".<name>." or
// "<name>." and six letters or digits, as this and earlier releases named
// them; regular files of this user only. The paths removed.
QStringList RemoveLeftoverCopies(const QString& path);

// Qt's flags as a file mode; its owner and "current user" flags both stand
// for the owner's bits, as in QFile::setPermissions.
constexpr mode_t ModeOf(QFileDevice::Permissions permissions)
{
    const auto bits = static_cast<mode_t>(permissions.toInt());
    return ((((bits >> 12) | (bits >> 8)) & 07) << 6) | (((bits >> 4) & 07) << 3) | (bits & 07);
}

}  // namespace quendrel
