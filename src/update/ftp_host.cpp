#include "update/ftp_host.h"

#include <QList>
#include <QStringView>

#include <algorithm>

#include "update/ip_address_text.h"

namespace quendrel {

namespace {

// As DNS limits them, counted in characters (an IDN label's ASCII form is
// never shorter).
constexpr qsizetype kLongestName = 253;
constexpr qsizetype kLongestLabel = 63;
// An interface name's limit (IFNAMSIZ less its NUL), and libcurl's.
constexpr qsizetype kLongestZone = 15;

bool IsAsciiLetterOrDigit(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Outside ASCII anything IDN may take; but never a control, a blank or a
// line separator, which no host name holds.
bool IsLabelCharacter(char32_t c)
{
    if (c < 0x80)
        return IsAsciiLetterOrDigit(c) || c == U'-' || c == U'_';
    const QChar::Category category = QChar::category(c);
    return category != QChar::Other_Control && category != QChar::Separator_Space
           && category != QChar::Separator_Line && category != QChar::Separator_Paragraph;
}

bool IsLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > kLongestLabel || label.front() == u'-' || label.back() == u'-')
        return false;
    for (qsizetype index = 0; index < label.size(); ++index) {
        char32_t c = label[index].unicode();
        // A surrogate only as half of a pair: alone, it would reach libcurl as "?".
        if (QChar::isHighSurrogate(c) && index + 1 < label.size() && label[index + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(label[index], label[index + 1]);
            ++index;
        }
        if (QChar::isSurrogate(c) || !IsLabelCharacter(c))
            return false;
    }
    return true;
}

// Decimal, or hexadecimal after "0x": where every label is one, libcurl and
// the resolver read the name as an IPv4 address in one of its old forms.
bool IsNumber(QStringView label)
{
    if (label.startsWith(u"0x", Qt::CaseInsensitive))
        return std::all_of(label.begin() + 2, label.end(), IsHexDigit);
    return std::all_of(label.begin(), label.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool IsHostName(const QString& text)
{
    // Checked as the IDN conversion will read it: fullwidth "１" or "＠" stand
    // for "1" and "@", the ideographic full stop for a dot.
    QString name = text.normalized(QString::NormalizationForm_KC);
    name.replace(u'\u3002', u'.');
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.size() > kLongestName)
        return false;
    const QList<QStringView> labels = QStringView(name).split(u'.');
    return std::all_of(labels.begin(), labels.end(), IsLabel) && !IsNumber(labels.back());
}

bool IsZone(QStringView zone)
{
    return !zone.isEmpty() && zone.size() <= kLongestZone && std::all_of(zone.begin(), zone.end(), [](QChar c) {
        return IsAsciiLetterOrDigit(c.unicode()) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
    });
}

std::optional<FtpHost> IPv6Host(QStringView text, bool bracketed)
{
    const qsizetype percent = text.indexOf(u'%');
    const QStringView address = percent < 0 ? text : text.first(percent);
    QStringView zone = percent < 0 ? QStringView() : text.sliced(percent + 1);
    // In a URL the "%" before a zone is escaped; libcurl reads "%25eth0" as
    // zone "eth0" but "%25" alone as zone "25", and so does this.
    if (bracketed && zone.startsWith(u"25") && zone.size() > 2)
        zone = zone.sliced(2);
    if (!address.contains(u':') || !IsIPAddressText(address) || (percent >= 0 && !IsZone(zone)))
        return std::nullopt;
    return FtpHost{u'[' + address.toString() + u']', zone.toString()};
}

}  // namespace

std::optional<FtpHost> ParseFtpHost(const QString& server)
{
    if (server.startsWith(u'[') && server.endsWith(u']') && server.size() > 2)
        return IPv6Host(QStringView(server).sliced(1, server.size() - 2), true);
    if (server.contains(u':'))
        return IPv6Host(server, false);
    if (IsIPAddressText(server))
        return FtpHost{server, {}};
    if (IsHostName(server))
        return FtpHost{server, {}};
    return std::nullopt;
}

}  // namespace quendrel
