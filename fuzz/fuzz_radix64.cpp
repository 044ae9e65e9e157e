// The stored password's Base64: any bytes and any text come back through
// encoding and decoding; a hand-edited value decodes as its characters of the
// alphabet alone, cut to whole groups of four, and as Qt's strict decoder
// reads it wherever that one accepts it.
//
// Input: any bytes (taken as bytes, as a text and as a stored value)

#include "fuzz_support.h"
#include "settings/radix64.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

bool InAlphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'
           || c == '=';
}

QByteArray AlphabetOnly(const QByteArray& value)
{
    QByteArray kept;
    for (const char c : value) {
        if (InAlphabet(c))
            kept += c;
    }
    return kept;
}

void CheckHandEditedValue(const QByteArray& value)
{
    const QByteArray decoded = Radix64DecodeBytes(value);
    QByteArray groups = AlphabetOnly(value);
    groups.chop(groups.size() % 4);
    if (Radix64DecodeBytes(groups) != decoded)
        Broken("characters outside the alphabet and after the last group of four are passed over",
               {{"value", Shown(value)}, {"decoded", Shown(decoded)}, {"groups", Shown(groups)},
                {"groups decoded", Shown(Radix64DecodeBytes(groups))}});
    if (decoded.size() > groups.size() / 4 * 3)
        Broken("each group of four gives at most three bytes", {{"value", Shown(value)}, {"decoded", Shown(decoded)}});
    const QByteArray::FromBase64Result strict =
        QByteArray::fromBase64Encoding(groups, QByteArray::AbortOnBase64DecodingErrors);
    if (strict && *strict != decoded)
        Broken("a value Qt's strict decoder accepts decodes the same",
               {{"value", Shown(value)}, {"decoded", Shown(decoded)}, {"Qt", Shown(*strict)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray back = Radix64DecodeBytes(bytes.toBase64());
    if (back != bytes)
        Broken("bytes come back through Base64", {{"bytes", Shown(bytes)}, {"decoded", Shown(back)}});

    const QString password = Text(bytes);
    const QString stored = Radix64Encode(password);
    if (stored.contains(u'\n') || stored.contains(u'\r'))
        Broken("the stored password is on one line", {{"stored", Shown(stored)}});
    const QString decoded = Radix64Decode(stored);
    if (decoded != password)
        Broken("a password comes back through its stored form",
               {{"password", Shown(password)}, {"stored", Shown(stored)}, {"decoded", Shown(decoded)}});

    CheckHandEditedValue(bytes);
    return 0;
}
