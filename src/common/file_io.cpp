#include "common/file_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quendrel {

namespace {

// As many as the kernel follows itself.
constexpr int kMaxLinkHops = 40;
// Letters and digits after a temporary file's name, as mkstemp makes them.
constexpr int kCopySuffixLength = 6;
// Names drawn for a link before giving up: 62^6 of them, few taken.
constexpr int kLinkAttempts = 100;

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

// ".<name>." and six letters or digits, beside the file.
QByteArray TemporaryName(const QString& target, const QByteArray& suffix)
{
    const QFileInfo info(target);
    return Native(info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.') + suffix;
}

QByteArray RandomSuffix()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(kCopySuffixLength, '\0');
    for (char& letter : suffix)
        letter = kAlphabet[QRandomGenerator::global()->bounded(int(sizeof kAlphabet) - 1)];
    return suffix;
}

// The mode first: the bytes are never readable by more people than asked.
int FillAndSync(int fd, const QByteArray& bytes, mode_t mode)
{
    int error = ::fchmod(fd, mode) != 0 ? errno : WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    return error;
}

// The temporary file takes the file's place; on failure it is removed.
int RenameOver(const QByteArray& temporaryName, const QByteArray& finalName, const QString& directory)
{
    if (::rename(temporaryName.constData(), finalName.constData()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        return error;
    }
    SyncDirectory(directory);
    return 0;
}

// Where the file system has no unnamed files (or an old kernel).
bool UnnamedFilesUnsupported(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// The descriptor itself (AT_EMPTY_PATH) is the quicker link, open to
// ordinary users since Linux 6.10; before, it goes through /proc.
int LinkDescriptor(int fd, const QByteArray& name)
{
    if (::linkat(fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    const QByteArray viaProc = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, viaProc.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Gives the unnamed file a temporary name beside the file; a name taken
// already is drawn again.
int LinkUnderTemporaryName(int fd, const QString& target, QByteArray& temporaryName)
{
    for (int attempt = 0; attempt < kLinkAttempts; ++attempt) {
        temporaryName = TemporaryName(target, RandomSuffix());
        if (const int error = LinkDescriptor(fd, temporaryName); error != EEXIST)
            return error;
    }
    return EEXIST;
}

// The bytes go to a file that gets a name only once they are all there and
// synced, just before the rename (which cannot take an unnamed file): a
// kill before that leaves nothing behind, the kernel frees an unnamed file
// with its last descriptor. A kill between the link and the rename leaves
// the copy, which RemoveLeftoverCopies clears at the next start; so the
// rename follows the link at once, and the descriptor is closed after it
// (the fsync left a close no error to report). Nothing when the system
// cannot do it (no unnamed files, no /proc).
std::optional<int> ReplaceThroughUnnamedFile(const QString& target, const QByteArray& bytes, mode_t mode)
{
    const QString directory = QFileInfo(target).absolutePath();
    const FileDescriptor file(::open(Native(directory).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return UnnamedFilesUnsupported(errno) ? std::nullopt : std::optional<int>(errno);
    if (const int error = FillAndSync(file.get(), bytes, mode))
        return error;
    const QByteArray finalName = Native(target);
    QByteArray temporaryName;
    if (LinkUnderTemporaryName(file.get(), target, temporaryName) != 0)
        return std::nullopt;
    return RenameOver(temporaryName, finalName, directory);
}

// The named way: a kill before the rename leaves the temporary file.
int ReplaceThroughNamedFile(const QString& target, const QByteArray& bytes, mode_t mode)
{
    QByteArray temporaryName = TemporaryName(target, "XXXXXX");
    FileDescriptor file(::mkostemp(temporaryName.data(), O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    int error = FillAndSync(file.get(), bytes, mode);
    if (error == 0 && file.Close() != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporaryName.constData());
        return error;
    }
    return RenameOver(temporaryName, Native(target), QFileInfo(target).absolutePath());
}

int ReplaceWith(const QString& target, const QByteArray& bytes, mode_t mode)
{
    if (const std::optional<int> result = ReplaceThroughUnnamedFile(target, bytes, mode))
        return *result;
    return ReplaceThroughNamedFile(target, bytes, mode);
}

bool IsLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "<name>." or ".<name>." and six letters or digits.
bool IsCopyName(const QByteArray& entry, const QByteArray& name)
{
    const qsizetype stem = entry.size() - kCopySuffixLength - 1;
    if (stem < 1 || entry[stem] != '.' || !std::all_of(entry.begin() + stem + 1, entry.end(), IsLetterOrDigit))
        return false;
    const QByteArrayView head = QByteArrayView(entry).first(stem);
    return head == name || (head.startsWith('.') && head.sliced(1) == name);
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

QStringList RemoveLeftoverCopies(const QString& path)
{
    QString target;
    if (ResolveTarget(path, AtLink::WriteThrough, target) != 0)
        return {};
    const QFileInfo info(target);
    const QByteArray name = Native(info.fileName());
    const QDir directory = info.absoluteDir();
    QStringList removed;
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString& entry : directory.entryList(all)) {
        const QByteArray copy = Native(directory.filePath(entry));
        struct stat copyInfo {};
        if (IsCopyName(Native(entry), name) && ::lstat(copy.constData(), &copyInfo) == 0
            && S_ISREG(copyInfo.st_mode) && copyInfo.st_uid == ::geteuid() && ::unlink(copy.constData()) == 0)
            removed << directory.filePath(entry);
    }
    return removed;
}

}  // namespace quendrel
