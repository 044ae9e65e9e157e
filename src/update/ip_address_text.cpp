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
    QString shown = text.left(kShownLength);
    for (QChar& c : shown) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
        else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            c = u'?';
    }
    return shown;
}

}  // namespace quendrel
