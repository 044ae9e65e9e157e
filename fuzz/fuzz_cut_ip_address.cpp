// The cut between the start and end strings: what it gives is one IPv4 or
// IPv6 address without a zone, found in the page after the first start
// string and before the first end string (on the line after the start when
// the end string is empty, and not on a last line that broke off); and an
// address placed between the strings is found.
//
// Input: page | start string | end string | option bits and address bytes

#include <QRegularExpression>

#include <arpa/inet.h>

#include "fuzz_support.h"
#include "update/web_page_ip.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

const StatusReporter kNoStatus = [](const QString&) {};

bool IsAddress(const QString& text)
{
    const QByteArray ascii = text.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    return ascii.toStdString() == text.toStdString()
           && (inet_pton(AF_INET, ascii.constData(), address) == 1 || inet_pton(AF_INET6, ascii.constData(), address) == 1);
}

void CheckCut(const QString& page, const QString& start, const QString& end, bool whole)
{
    const TextResult result = CutIPAddress(page, start, end, kNoStatus, whole);
    if (result.failure)
        return;
    const auto report = [&](const char* promise) {
        Broken(promise, {{"page", Shown(page)}, {"start", Shown(start)}, {"end", Shown(end)},
                         {"whole", whole ? "yes" : "no"}, {"cut", Shown(result.text)}});
    };
    if (!IsAddress(result.text))
        report("the cut is one IPv4 or IPv6 address");
    const qsizetype from = start.isEmpty() ? 0 : page.indexOf(start) + start.size();
    const qsizetype to = end.isEmpty() ? page.size() : page.indexOf(end);
    const qsizetype at = page.indexOf(result.text, from);
    if (at < 0 || at + result.text.size() > to)
        report("the cut stands between the first start string and the first end string");
    if (end.isEmpty()) {
        const qsizetype lineEnd = page.indexOf(QRegularExpression(QStringLiteral("[\r\n]")), at);
        const QString before = page.sliced(from, at - from);
        if (!before.trimmed().isEmpty() || (lineEnd < 0 && !whole))
            report("with no end string the cut is the next line, ended");
    }
}

// An address from the option bits and bytes, as inet_ntop writes it.
QString AddressFrom(unsigned bits, const QByteArray& bytes)
{
    const bool six = (bits & 1) != 0;
    const QByteArray raw = bytes.leftJustified(six ? 16 : 4, '\0', true);
    char text[INET6_ADDRSTRLEN];
    inet_ntop(six ? AF_INET6 : AF_INET, raw.constData(), text, sizeof text);
    return QString::fromLatin1(text);
}

// Blanks and line breaks around the address, as a page may have them.
QString Around(unsigned bits, bool lineBreaks)
{
    static const QString kChoices[] = {QStringLiteral(""), QStringLiteral(" "), QStringLiteral("\t "),
                                       QStringLiteral("\r\n  ")};
    return kChoices[bits % (lineBreaks ? 4 : 3)];
}

void CheckPlacedAddressFound(const std::vector<QByteArray>& piece, const QString& start, const QString& end)
{
    const unsigned bits = Bits(piece[3]);
    const QString address = AddressFrom(bits, piece[3].mid(1));
    const QString prefix = start.isEmpty() ? QString() : Text(piece[0]);
    const QString before = Around(bits >> 1, true);
    const QString after = end.isEmpty() ? QStringLiteral("\n") : Around(bits >> 3, true);
    const QString page = prefix + start + before + address + after + end + Text(piece[0]);
    const qsizetype endAt = prefix.size() + start.size() + before.size() + address.size() + after.size();
    const bool placed = (start.isEmpty() || page.indexOf(start) == prefix.size())
                        && (end.isEmpty() || page.indexOf(end) == endAt);
    if (!placed)
        return;
    const TextResult result = CutIPAddress(page, start, end, kNoStatus, true);
    if (result.failure || result.text != address)
        Broken("an address between the strings is found",
               {{"page", Shown(page)}, {"start", Shown(start)}, {"end", Shown(end)},
                {"found", result.failure ? Shown(result.failure->message + QStringLiteral(": ") + result.failure->detail)
                                         : Shown(result.text)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 4);
    const QString page = Text(piece[0]);
    const QString start = Text(piece[1]);
    const QString end = Text(piece[2]);
    CheckCut(page, start, end, (Bits(piece[3]) & 0x80) == 0);
    CheckPlacedAddressFound(piece, start, end);
    return 0;
}
