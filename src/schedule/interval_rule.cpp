#include "schedule/interval_rule.h"

#include <QLocale>
#include <QRegularExpression>

#include <cfenv>
#include <cmath>

namespace quendrel {

namespace {

const QString kOutOfRange = QStringLiteral("Value must be between 5 and 1440 minutes (24 hrs).");
const QString kZero = QStringLiteral("Value must be between 5 and 1440 (24 hrs).");

// The whole number nearest to the value, halves to the even one. Beyond the
// range of int the sign is all that matters.
long long RoundHalfToEven(double value)
{
    if (value > 1e15)
        return static_cast<long long>(1e15);
    if (value < -1e15)
        return static_cast<long long>(-1e15);
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return static_cast<long long>(rounded);
}

IntervalVerdict Replace(const QString& message, int value)
{
    return {message, QString::number(value), value};
}

}  // namespace

std::optional<double> ParseIntervalNumber(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*([+-]?(?:[0-9]+(?:[.,][0-9]*)?|[.,][0-9]+)(?:[eE][+-]?[0-9]+)?)\s*$)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    QString plain = match.captured(1);
    // A comma counts as the separator only where the locale writes one.
    if (plain.contains(QLatin1Char(','))) {
        if (QLocale().decimalPoint() != QLatin1String(","))
            return std::nullopt;
        plain.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    // Not strtod: it would follow the C library's locale, which Qt sets from
    // the environment, and stop at the point in "15.5" under a comma locale.
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (ok)
        return value;
    // Only an exponent beyond double's range fails here; its sign decides.
    return plain.contains(QLatin1String("e-"), Qt::CaseInsensitive) ? 0.0 : (plain.startsWith(u'-') ? -1e300 : 1e300);
}

IntervalVerdict IntervalTextChanged(const QString& text)
{
    const std::optional<double> number = ParseIntervalNumber(text);
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
    const std::optional<double> number = ParseIntervalNumber(text);
    if (number && RoundHalfToEven(*number) >= kMinInterval)
        return {};
    return {QString(), QString::number(kMinInterval), std::nullopt};
}

}  // namespace quendrel
