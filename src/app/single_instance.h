#pragma once

#include <string>

namespace quendrel {

// Where the lock for one user and one executable lives: the user's runtime
// directory ($XDG_RUNTIME_DIR, or /run/user/<uid> when that is unset, or /tmp
// with the user id in the name), named after a hash of the executable's path,
// so a copy elsewhere runs on its own.
std::string LockPathFor(const std::string& executablePath);

// Holds an exclusive lock on a file for as long as it lives. The kernel lets
// go of the lock when the process ends in any way, so a killed instance
// never blocks the next start.
class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock. False when another holds it;
    // also true when the lock file cannot be made, or is not a file of this
    // user's, so that a broken or hostile lock directory never keeps the
    // program from starting. Call it once.
    bool TryAcquire(const std::string& lockPath);

private:
    int fd_ = -1;
};

}  // namespace quendrel
