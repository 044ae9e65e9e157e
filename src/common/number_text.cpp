#include "common/number_text.h"

#include <QLocale>
#include <QRegularExpression>

#include <cfenv>
#include <cmath>

namespace quendrel {

std::optional<double> ParseNumberText(const QString& text)
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

QString TrimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

}  // namespace quendrel
