// The number and port readers: a number written with a point reads as the
// C++ library's correctly rounded reading of it, whatever its length; the
// port is that number rounded (or an overflow when no port can be it);
// rounding goes to the nearest whole number, halves to the even one; only
// spaces are trimmed.
//
// Input: a text (the port box) | eight bytes of a double for the rounding

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/number_text.h"
#include "fuzz_support.h"
#include "update/update_inputs.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

std::string Decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A number as the port box takes it, with a point: optional sign, digits
// with an optional fraction, an optional exponent. Nothing for the rest.
struct WrittenNumber {
    std::string unsigned_;  // without its sign, for std::from_chars
    bool negative = false;
    // Where its first significant digit stands (1 for units, 2 for tens, -1
    // for tenths...), or 0 when all its digits are zeros. Large exponents
    // saturate: only the sign of a huge one matters.
    long long magnitude = 0;
};

std::optional<WrittenNumber> ReadWritten(const QByteArray& text)
{
    WrittenNumber number;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number.negative = text[i++] == '-';
    number.unsigned_ = text.sliced(i).toStdString();
    long long digitsBefore = 0, leadingZeros = 0, digits = 0;
    bool pointSeen = false, significant = false;
    for (; i < text.size() && (IsDigit(text[i]) || (text[i] == '.' && !pointSeen)); ++i) {
        if (text[i] == '.') {
            pointSeen = true;
            continue;
        }
        ++digits;
        digitsBefore += pointSeen ? 0 : 1;
        significant = significant || text[i] != '0';
        leadingZeros += significant ? 0 : 1;
    }
    if (digits == 0)
        return std::nullopt;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negativeExponent = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (i == text.size())
            return std::nullopt;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000'000LL);
        exponent = negativeExponent ? -exponent : exponent;
    }
    if (i != text.size())
        return std::nullopt;
    number.magnitude = significant ? digitsBefore - leadingZeros + exponent : 0;
    return number;
}

// The value, correctly rounded; beyond double's range, an infinity or zero.
double ValueOf(const WrittenNumber& number)
{
    double value = 0;
    const char* first = number.unsigned_.data();
    const std::from_chars_result result = std::from_chars(first, first + number.unsigned_.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = number.magnitude > 0 ? HUGE_VAL : 0.0;
    return number.negative ? -value : value;
}

// Beyond double's range a number only keeps its sign and size, and one
// below the smallest normal double may read as zero.
bool SameForAPort(double read, double exact)
{
    if (std::isinf(exact))
        return std::abs(read) >= 1e300 && std::signbit(read) == std::signbit(exact);
    if (std::abs(exact) < 1e-300)
        return std::abs(read) < 1e-300;
    return read == exact;
}

void CheckPort(const QString& text, double value)
{
    const PortVerdict verdict = TakePort(text);
    const auto report = [&](const char* promise) {
        Broken(promise, {{"text", Shown(text)},
                         {"value", Decimal(value)},
                         {"port", std::to_string(verdict.port)},
                         {"failure", verdict.failure ? Shown(verdict.failure->message) : std::string("none")}});
    };
    if (value >= 65536 || value <= -1) {
        if (!verdict.failure)
            report("a number no port can be is an overflow");
    } else if (value >= -0.5 && value <= 65535) {
        if (verdict.failure || verdict.resetText || std::abs(verdict.port - value) > 0.5)
            report("a number a port can be is that port, rounded");
    }
}

void CheckNumber(const QString& text)
{
    const QString trimmed = TrimSpaces(text);
    const std::optional<double> parsed = ParseNumberText(trimmed);
    const std::optional<WrittenNumber> written = ReadWritten(trimmed.toLatin1());
    if (written && trimmed.toLatin1() == trimmed.toUtf8()) {
        const double value = ValueOf(*written);
        if (!parsed || !SameForAPort(*parsed, value))
            Broken("a number reads as its correctly rounded value",
                   {{"text", Shown(text)}, {"expected", Decimal(value)},
                    {"read", parsed ? Decimal(*parsed) : std::string("nothing")}});
        CheckPort(text, value);
    } else if (!parsed) {
        const PortVerdict verdict = TakePort(text);
        if (verdict.port != kDefaultFtpPort || !verdict.resetText || verdict.failure)
            Broken("a port box without a number gets 21 back", {{"text", Shown(text)}});
    }
}

void CheckRounding(double value)
{
    if (std::isnan(value))
        return;
    const long long rounded = RoundHalfToEven(value);
    const auto report = [&](const char* promise) {
        Broken(promise, {{"value", Decimal(value)}, {"rounded", std::to_string(rounded)}});
    };
    if (std::abs(value) > 1e15) {
        if (rounded != static_cast<long long>(std::copysign(1e15, value)))
            report("values beyond 1e15 come back as 1e15 with their sign");
        return;
    }
    const double distance = std::abs(static_cast<double>(rounded) - value);
    if (distance > 0.5 || (distance == 0.5 && rounded % 2 != 0))
        report("the nearest whole number, halves to the even one");
}

void CheckTrim(const QString& text)
{
    const QString trimmed = TrimSpaces(text);
    const qsizetype at = text.indexOf(trimmed);
    const bool spacesAround = at >= 0 && text.first(at).count(u' ') == at
                              && text.sliced(at + trimmed.size()).count(u' ') == text.size() - at - trimmed.size();
    if (trimmed.startsWith(u' ') || trimmed.endsWith(u' ') || !spacesAround)
        Broken("only spaces are trimmed, all of them", {{"text", Shown(text)}, {"trimmed", Shown(trimmed)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 2);
    const QString text = Text(piece[0]);
    CheckTrim(text);
    CheckNumber(text);
    double value = 0;
    if (piece[1].size() >= qsizetype(sizeof value)) {
        std::memcpy(&value, piece[1].constData(), sizeof value);
        CheckRounding(value);
    }
    return 0;
}
