#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quendrel {

namespace {

bool IsUsersOwnDirectory(const std::string& path)
{
    struct stat info {};
    return path.starts_with('/') && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid();
}

// The user's runtime directory: $XDG_RUNTIME_DIR, or, where that is not set
// (cron), the one the login manager makes for the user, so that a program
// started from cron finds the one running on the desktop. Empty when there
// is none of the user's own.
std::string RuntimeDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && IsUsersOwnDirectory(runtime))
        return runtime;
    const std::string session = "/run/user/" + std::to_string(::getuid());
    struct stat info {};
    if (runtime == nullptr && IsUsersOwnDirectory(session) && ::stat(session.c_str(), &info) == 0 &&
        (info.st_mode & 077) == 0)
        return session;
    return {};
}

}  // namespace

std::string LockPathFor(const std::string& executablePath)
{
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(executablePath), QCryptographicHash::Sha256).toHex().left(16);
    const std::string runtime = RuntimeDirectory();
    if (!runtime.empty())
        return runtime + "/Quendrel-" + hash.toStdString() + ".lock";
    return "/tmp/Quendrel-" + std::to_string(::getuid()) + "-" + hash.toStdString() + ".lock";
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool SingleInstanceLock::TryAcquire(const std::string& lockPath)
{
    // O_NOFOLLOW: in /tmp another user could plant a link; O_CLOEXEC: programs
    // we start (a browser, say) must not inherit and keep the lock.
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(fd);
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(fd);
        return !heldElsewhere;
    }
    fd_ = fd;
    return true;
}

}  // namespace quendrel
