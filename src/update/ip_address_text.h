#pragma once

#include <QString>
#include <QStringView>

namespace quendrel {

// Whether the text is exactly one IPv4 address in dotted decimal (four
// parts, no leading zeros) or one IPv6 address in any of its written forms,
// IPv4-mapped included. A zone ("fe80::1%eth0") only means something on the
// host that wrote it, and is no address to publish.
bool IsIPAddressText(QStringView text);

// A text found on a page as the log and the tool tip show it: cut to 80
// characters, on one line (tabs and line breaks as blanks), any other
// control or format character as "?".
QString ShownFoundText(const QString& text);

}  // namespace quendrel
