#include "update/update_failure.h"

#include <cstring>

namespace quendrel {

QString SystemErrorText(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r: thread-safe, and it may return a static text.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

UpdateFailure UpdateFailure::Unexpected(const QString& description, int number, const QString& detail)
{
    return {description + QStringLiteral(" - ") + QString::number(number), detail};
}

UpdateFailure UpdateFailure::FromErrno(int error, const QString& file)
{
    const QString description = SystemErrorText(error);
    return Unexpected(description, error, file + QStringLiteral(": ") + description);
}

UpdateFailure UpdateFailure::Cancelled()
{
    return {QString(), QString(), true};
}

}  // namespace quendrel
