#include "settings/radix64.h"

#include "common/text_codec.h"

namespace quendrel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr std::int16_t kPadValue = 64;
constexpr std::int16_t kNotInAlphabet = -1;

}  // namespace

std::array<std::uint8_t, 3> DecodeBlock(int q0, int q1, int q2, int q3)
{
    return {
        static_cast<std::uint8_t>(((q0 << 2) & 0xFF) | ((q1 >> 4) & 0x03)),
        static_cast<std::uint8_t>(((q1 & 0x0F) << 4) | ((q2 >> 2) & 0x0F)),
        static_cast<std::uint8_t>(((q2 & 0x03) << 6) | (q3 & 0xFF)),
    };
}

Radix64DecodeTable BuildDecodeTable()
{
    Radix64DecodeTable table;
    table.fill(kNotInAlphabet);
    for (std::int16_t value = 0; value < 64; ++value)
        table[static_cast<unsigned char>(kAlphabet[value])] = value;
    table[static_cast<unsigned char>(kPad)] = kPadValue;
    return table;
}

QByteArray Radix64DecodeBytes(const QByteArray& value)
{
    const Radix64DecodeTable table = BuildDecodeTable();
    QByteArray out;
    out.reserve(value.size() / 4 * 3);
    std::array<int, 4> group{};
    int filled = 0;
    for (const char c : value) {
        const int q = table[static_cast<unsigned char>(c)];
        // Blanks, line breaks and other strays in a hand-edited value.
        if (q == kNotInAlphabet)
            continue;
        group[filled++] = q;
        if (filled < 4)
            continue;
        filled = 0;
        // "=" in the first two places of a group leaves no byte to decode.
        if (group[0] == kPadValue || group[1] == kPadValue)
            continue;
        const auto bytes = DecodeBlock(group[0], group[1], group[2], group[3]);
        out.append(reinterpret_cast<const char*>(bytes.data()), 3);
        if (group[3] == kPadValue)
            out.chop(1);
        if (group[2] == kPadValue)
            out.chop(1);
    }
    return out;
}

QString Radix64Encode(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

QString Radix64Decode(const QString& value)
{
    // Characters beyond Latin-1 are not in the alphabet; '?' keeps them out.
    // A password may begin with U+FEFF like with any other character.
    return DecodeLenient(Radix64DecodeBytes(value.toLatin1()), LeadingBom::Character);
}

}  // namespace quendrel
