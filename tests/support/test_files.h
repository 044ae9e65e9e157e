#pragma once

// Small helpers shared by the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

namespace quendrel::test {

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs check as an ordinary user: as the current one when that is not root,
// otherwise in a child process that becomes "nobody" (root may write anywhere).
inline bool RunAsOrdinaryUser(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        ::_exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quendrel::test
