#include "update/update_failure.h"

#include <cstring>

namespace quendrel {

UpdateFailure UpdateFailure::Unexpected(const QString& description, int number)
{
    return {description + QStringLiteral(" - ") + QString::number(number)};
}

UpdateFailure UpdateFailure::FromErrno(int error)
{
    char buffer[256] = {};
    // The GNU strerror_r: thread-safe, and it may return a static text.
    const char* description = strerror_r(error, buffer, sizeof buffer);
    return Unexpected(QString::fromLocal8Bit(description), error);
}

UpdateFailure UpdateFailure::Cancelled()
{
    return {QString(), true};
}

}  // namespace quendrel
