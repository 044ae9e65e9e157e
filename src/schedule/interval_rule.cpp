#include "schedule/interval_rule.h"

#include "common/number_text.h"

namespace quendrel {

namespace {

const QString kOutOfRange = QStringLiteral("Value must be between 5 and 1440 minutes (24 hrs).");
const QString kZero = QStringLiteral("Value must be between 5 and 1440 (24 hrs).");

IntervalVerdict Replace(const QString& message, int value)
{
    return {message, QString::number(value), value};
}

}  // namespace

IntervalVerdict IntervalTextChanged(const QString& text)
{
    const std::optional<double> number = ParseNumberText(text);
    if (!number)
        return Replace(kOutOfRange, kMinInterval);
    const long long n = RoundHalfToEven(*number);
    if (n == 0)
        return Replace(kZero, kMinInterval);
    if (n < kMinInterval)
        return {};
    if (n > kMaxInterval)
        return Replace(kOutOfRange, kMaxInterval);
    return {QString(), std::nullopt, static_cast<int>(n)};
}

IntervalVerdict IntervalFocusLost(const QString& text)
{
    const std::optional<double> number = ParseNumberText(text);
    if (number && RoundHalfToEven(*number) >= kMinInterval)
        return {};
    return {QString(), QString::number(kMinInterval), std::nullopt};
}

}  // namespace quendrel
