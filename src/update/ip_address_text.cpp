#include "update/ip_address_text.h"

#include <arpa/inet.h>

namespace quendrel {

namespace {

constexpr qsizetype kShownLength = 80;

// The most an IPv6 address can take: eight groups of four and an IPv4 tail.
constexpr qsizetype kLongestAddress = INET6_ADDRSTRLEN;

bool IsAddressCharacter(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u'.' || c == u':';
}

}  // namespace

bool IsIPAddressText(QStringView text)
{
    if (text.isEmpty() || text.size() >= kLongestAddress)
        return false;
    for (const QChar c : text) {
        if (!IsAddressCharacter(c.unicode()))
            return false;
    }
    const QByteArray ascii = text.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    const int family = ascii.contains(':') ? AF_INET6 : AF_INET;
    // glibc's inet_pton takes only the strict forms: no leading zeros in
    // IPv4, no "1.2.3" or "0x7f.1".
    return inet_pton(family, ascii.constData(), address) == 1;
}

QString ShownFoundText(const QString& text)
{
    // Not cut between the two halves of a character beyond the 16-bit range.
    const qsizetype length = text.size() > kShownLength && text[kShownLength - 1].isHighSurrogate() ? kShownLength - 1
                                                                                                   : kShownLength;
    QString shown = text.left(length);
    for (QChar& c : shown) {
        const QChar::Category category = c.category();
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
        // Controls, and the format characters that could turn the text
        // around or hide parts of it (U+202E, U+200B).
        else if (category == QChar::Other_Control || category == QChar::Other_Format ||
                 category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            c = u'?';
    }
    return shown;
}

}  // namespace quendrel
