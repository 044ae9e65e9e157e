#include "common/number_text.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace quendrel {

namespace {

// An exponent's digits, however many: past a billion the value stops
// growing, which is far beyond any double and keeps the sums below exact.
long long SaturatedExponent(QStringView text)
{
    constexpr long long kLimit = 1'000'000'000;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.sliced(1);
    long long value = 0;
    for (const QChar c : text)
        value = std::min(value * 10 + (c.unicode() - u'0'), kLimit);
    return negative ? -value : value;
}

// The power of ten of a plain number's first significant digit (2 for
// "123.4e0", -3 for "0.00123"); nothing when every digit is zero. Counted
// on the text: the digits alone can be far beyond double's range while the
// exponent brings the number back, or the other way round.
std::optional<long long> DecimalOrder(QStringView number)
{
    if (number.startsWith(u'+') || number.startsWith(u'-'))
        number = number.sliced(1);
    const qsizetype exponentMark = number.indexOf(u'e', 0, Qt::CaseInsensitive);
    const QStringView mantissa = exponentMark < 0 ? number : number.first(exponentMark);
    const long long exponent = exponentMark < 0 ? 0 : SaturatedExponent(number.sliced(exponentMark + 1));
    const qsizetype point = mantissa.indexOf(u'.');
    const qsizetype integerDigits = point < 0 ? mantissa.size() : point;
    for (qsizetype index = 0; index < mantissa.size(); ++index) {
        if (mantissa[index] != u'0' && mantissa[index] != u'.')
            return exponent + (index < integerDigits ? integerDigits - 1 - index : integerDigits - index);
    }
    return std::nullopt;
}

}  // namespace

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
    // Only a number beyond double's range fails here: one too large stands
    // for ±1e300, one too small for 0.
    const std::optional<long long> order = DecimalOrder(plain);
    if (!order || *order < 0)
        return 0.0;
    return plain.startsWith(u'-') ? -1e300 : 1e300;
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
