// Text decoding: the UTF-8 test agrees with RFC 3629, a text read as UTF-8
// keeps its bytes (a leading byte order mark aside) and one read as
// Windows-1252 keeps one character per byte, each byte its own; an IP web
// page is read as UTF-8, as UTF-8 cut off inside its last character, or
// else as Windows-1252, and a tail is only dropped when it can begin a
// character.
//
// Input: any bytes

#include <QHash>

#include "fuzz_support.h"

// The page decoding is file-local to the page's download; this target
// compiles that file itself to reach it, and so does not use the update
// library's copy of it.
#include "update/web_page_ip.cpp"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

// RFC 3629's table: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8ByTheRfc(const QByteArray& bytes)
{
    const auto in = [](unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; };
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        const qsizetype left = end - p;
        qsizetype length = 1;
        if (lead < 0x80)
            length = 1;
        else if (in(lead, 0xC2, 0xDF) && left >= 2 && in(p[1], 0x80, 0xBF))
            length = 2;
        else if (left >= 3 && in(p[2], 0x80, 0xBF)
                 && ((lead == 0xE0 && in(p[1], 0xA0, 0xBF)) || (in(lead, 0xE1, 0xEC) && in(p[1], 0x80, 0xBF))
                     || (lead == 0xED && in(p[1], 0x80, 0x9F)) || (in(lead, 0xEE, 0xEF) && in(p[1], 0x80, 0xBF))))
            length = 3;
        else if (left >= 4 && in(p[2], 0x80, 0xBF) && in(p[3], 0x80, 0xBF)
                 && ((lead == 0xF0 && in(p[1], 0x90, 0xBF)) || (in(lead, 0xF1, 0xF3) && in(p[1], 0x80, 0xBF))
                     || (lead == 0xF4 && in(p[1], 0x80, 0x8F))))
            length = 4;
        else
            return false;
        p += length;
    }
    return true;
}

// Whether some continuation bytes after the tail would make it a character.
bool CanBeginCharacter(const QByteArray& tail)
{
    static const char kContinuations[] = {'\x80', '\x8F', '\x90', '\x9F', '\xA0', '\xBF'};
    if (tail.size() >= 4)
        return false;
    for (const char next : kContinuations) {
        const QByteArray longer = tail + next;
        if (IsUtf8ByTheRfc(longer) || CanBeginCharacter(longer))
            return true;
    }
    return false;
}

void CheckLenient(const QByteArray& bytes, bool utf8)
{
    const QString text = DecodeLenient(bytes);
    if (utf8) {
        const QByteArray kept = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
        if (text.toUtf8() != kept)
            Broken("UTF-8 text keeps its bytes", {{"bytes", Shown(bytes)}, {"text", Shown(text)}});
    } else if (text != DecodeWindows1252(bytes)) {
        Broken("text that is not UTF-8 is read as Windows-1252", {{"bytes", Shown(bytes)}, {"text", Shown(text)}});
    }
}

// Distinct bytes stay distinct, and none is lost as a replacement character.
void CheckWindows1252(const QByteArray& bytes)
{
    static const QHash<QChar, char> kByteOf = [] {
        QHash<QChar, char> byteOf;
        for (int code = 0; code < 256; ++code) {
            const char byte = static_cast<char>(code);
            const QString decoded = DecodeWindows1252(QByteArrayView(&byte, 1));
            if (decoded.size() != 1 || decoded[0] == QChar::ReplacementCharacter || byteOf.contains(decoded[0]))
                Broken("each Windows-1252 byte is a character of its own", {{"byte", std::to_string(code)}});
            byteOf.insert(decoded[0], byte);
        }
        return byteOf;
    }();
    const QString text = DecodeWindows1252(bytes);
    QByteArray back;
    for (const QChar c : text)
        back += kByteOf.value(c, '\0');
    if (text.size() != bytes.size() || back != bytes)
        Broken("Windows-1252 keeps one character per byte", {{"bytes", Shown(bytes)}, {"text", Shown(text)}});
}

void CheckPage(const QByteArray& bytes, bool utf8)
{
    const QString page = DecodePage(bytes);
    if (utf8) {
        if (page != QString::fromUtf8(bytes))
            Broken("a UTF-8 page is read as UTF-8", {{"bytes", Shown(bytes)}, {"page", Shown(page)}});
        return;
    }
    if (page == DecodeWindows1252(bytes))
        return;
    for (qsizetype cut = 1; cut <= 3 && cut <= bytes.size(); ++cut) {
        const QByteArray whole = bytes.chopped(cut);
        if (page == QString::fromUtf8(whole) && IsUtf8ByTheRfc(whole)) {
            if (!CanBeginCharacter(bytes.right(cut)))
                Broken("only a tail that can begin a character is taken for a cut one",
                       {{"bytes", Shown(bytes)}, {"page", Shown(page)}});
            return;
        }
    }
    Broken("a page is read as UTF-8, cut UTF-8 or Windows-1252", {{"bytes", Shown(bytes)}, {"page", Shown(page)}});
}

// A UTF-8 page cut inside its last character is read without that character
// (and, like any page, without a leading byte order mark).
void CheckCutPage(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    if (text.isEmpty())
        return;
    const qsizetype lastLength = text.back().isLowSurrogate() && text.size() >= 2 ? 2 : 1;
    const QString shorter = text.chopped(lastLength);
    const QByteArray last = text.right(lastLength).toUtf8();
    for (qsizetype kept = 1; kept < last.size(); ++kept) {
        const QByteArray cut = shorter.toUtf8() + last.first(kept);
        if (DecodePage(cut) != QString::fromUtf8(shorter.toUtf8()))
            Broken("a UTF-8 page cut inside its last character is read without it",
                   {{"bytes", Shown(cut)}, {"page", Shown(DecodePage(cut))}});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool utf8 = IsValidUtf8(bytes);
    if (utf8 != IsUtf8ByTheRfc(bytes))
        Broken("the UTF-8 test agrees with RFC 3629", {{"bytes", Shown(bytes)}, {"IsValidUtf8", utf8 ? "yes" : "no"}});
    CheckLenient(bytes, utf8);
    CheckWindows1252(bytes);
    CheckPage(bytes, utf8);
    CheckCutPage(bytes);
    return 0;
}
