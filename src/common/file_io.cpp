#include "common/file_io.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quendrel {

namespace {

// As many as the kernel follows itself.
constexpr int kMaxLinkHops = 40;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// A descriptor closed with its holder.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, for the error a close can report (a delayed write).
    int Close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

int ReadableFileError(const struct stat& info, qint64 limit)
{
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (!S_ISREG(info.st_mode))
        return EINVAL;
    return info.st_size > limit ? EFBIG : 0;
}

// The size seen before may be stale: the limit holds for what is read.
FileBytes ReadUpTo(int fd, qint64 limit)
{
    FileBytes result;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return {{}, errno};
        if (count == 0)
            return result;
        if (result.bytes.size() + count > limit)
            return {{}, EFBIG};
        result.bytes.append(buffer, count);
    }
}

// umask() can only be read by changing it, which would race with the files
// other threads create; the kernel shows it here. 077 keeps a new file
// private when it cannot be read.
mode_t CurrentUmask()
{
    const std::optional<QByteArray> status = ReadWholeFile(QStringLiteral("/proc/self/status"));
    const qsizetype start = status ? status->indexOf("\nUmask:") : -1;
    if (start < 0)
        return 077;
    bool ok = false;
    const uint mask = status->mid(start + 7).split('\n').first().trimmed().toUInt(&ok, 8);
    return ok ? static_cast<mode_t>(mask) : 077;
}

// Where the bytes go: the path itself, or with WriteThrough the file its
// links lead to (a dangling link's target is created).
int ResolveTarget(const QString& path, AtLink atLink, QString& target)
{
    QFileInfo info(path);
    for (int hops = 0; atLink == AtLink::WriteThrough && info.isSymLink(); ++hops) {
        if (hops == kMaxLinkHops)
            return ELOOP;
        info.setFile(info.symLinkTarget());
    }
    target = info.absoluteFilePath();
    return 0;
}

int WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return errno;
        written += count;
    }
    return 0;
}

// Makes the rename itself survive a crash. The new file is in place by
// now and a failure here cannot undo that, so it is not reported.
void SyncDirectory(const QString& directory)
{
    const FileDescriptor handle(::open(Native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.get() >= 0)
        ::fsync(handle.get());
}

int ReplaceWith(const QString& target, const QByteArray& bytes, mode_t mode)
{
    const QFileInfo info(target);
    const QByteArray finalName = Native(target);
    QByteArray temporaryName =
        Native(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    FileDescriptor file(::mkostemp(temporaryName.data(), O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    int error = ::fchmod(file.get(), mode) != 0 ? errno : WriteAll(file.get(), bytes);
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    if (error == 0 && file.Close() != 0)
        error = errno;
    if (error == 0 && ::rename(temporaryName.constData(), finalName.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporaryName.constData());
        return error;
    }
    SyncDirectory(info.absolutePath());
    return 0;
}

}  // namespace

FileBytes ReadFileBounded(const QString& path, qint64 limit)
{
    const QByteArray name = Native(path);
    struct stat info {};
    // Looked at before opening: opening a device can have effects of its own.
    if (::stat(name.constData(), &info) != 0)
        return {{}, errno};
    if (const int error = ReadableFileError(info, limit))
        return {{}, error};
    // Should a FIFO take the file's place meanwhile, O_NONBLOCK keeps the
    // open from waiting for a writer, and fstat tells.
    const FileDescriptor file(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0)
        return {{}, errno};
    if (::fstat(file.get(), &info) != 0)
        return {{}, errno};
    if (const int error = ReadableFileError(info, limit))
        return {{}, error};
    return ReadUpTo(file.get(), limit);
}

std::optional<QByteArray> ReadWholeFile(const QString& path)
{
    FileBytes file = ReadFileBounded(path);
    if (file.error != 0)
        return std::nullopt;
    return std::move(file.bytes);
}

int WriteWholeFile(const QString& path, const QByteArray& bytes, const WriteRules& rules)
{
    QString target;
    if (const int error = ResolveTarget(path, rules.atLink, target))
        return error;
    // Followed even when a link is to be replaced: the file keeps the mode
    // of the one it replaces.
    struct stat existing {};
    const bool exists = ::stat(Native(target).constData(), &existing) == 0;
    const bool regular = exists && S_ISREG(existing.st_mode);
    if (exists && !regular && rules.atLink == AtLink::WriteThrough)
        return S_ISDIR(existing.st_mode) ? EISDIR : EEXIST;
    mode_t mode = existing.st_mode & 07777;
    if (rules.mode)
        mode = *rules.mode;
    else if (!regular)
        mode = rules.newFileMode ? *rules.newFileMode : 0666 & ~CurrentUmask();
    return ReplaceWith(target, bytes, mode);
}

int WriteFileIfChanged(const QString& path, const QByteArray& bytes, const WriteRules& rules)
{
    QString target;
    struct stat existing {};
    const bool unchanged = ResolveTarget(path, rules.atLink, target) == 0
                           && ::lstat(Native(target).constData(), &existing) == 0 && S_ISREG(existing.st_mode)
                           && (!rules.mode || (existing.st_mode & 07777) == *rules.mode)
                           && ReadWholeFile(target) == bytes;
    return unchanged ? 0 : WriteWholeFile(path, bytes, rules);
}

}  // namespace quendrel
