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

std::string LockPathFor(const std::string& executablePath)
{
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(executablePath), QCryptographicHash::Sha256).toHex().left(16);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime != nullptr && runtime[0] == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid())
        return std::string(runtime) + "/Quendrel-" + hash.toStdString() + ".lock";
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
