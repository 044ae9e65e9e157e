#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

#include "update/transfer_protocol.h"
#include "update/update_failure.h"

namespace quendrel {

// An IP web page with the strings that cut its address out.
struct IPWebPageChoice {
    QString url;
    QString startString = {};
    QString endString = {};
};

// What an update cycle works with, taken from the window once at its start.
// Texts are trimmed of spaces.
struct UpdateInputs {
    bool directlyConnected = false;
    QString ipWebPage;
    QString startString;
    QString endString;
    // Asked in turn when the IP web page gives no address.
    QList<IPWebPageChoice> otherPages;
    // "Directly Connected" adds the host's global IPv6 addresses.
    bool includeIPv6 = false;
    bool defaultPage = true;
    QString templatePath;
    QString destFilename;
    QString server;
    int port = 21;
    QString remotePath;
    QString username;
    QString password;
    bool active = false;
    TransferProtocol protocol = TransferProtocol::Ftp;
    // The one server key to accept, "SHA256:..."; empty: the system's
    // certificate authorities or ~/.ssh/known_hosts decide.
    QString serverKey;
    // Where "temp.htm" is written; ends in "/".
    QString programDirectory;
    // When the cycle started, as the page and the report show it.
    QString dateText;
    QString timeText;
};

// "Required Fields Missing.." when an input the cycle needs is empty; the
// detail names the empty ones.
std::optional<UpdateFailure> ValidateUpdateInputs(const UpdateInputs& inputs);
// The same for what finding the address needs, and for the FTP login.
std::optional<UpdateFailure> ValidateAddressInputs(const UpdateInputs& inputs);
std::optional<UpdateFailure> ValidateFtpInputs(const UpdateInputs& inputs);

// The port box's text turned into a port.
struct PortVerdict {
    int port = 21;
    // The box gets the protocol's port back (it was empty or not a number).
    bool resetText = false;
    // A number no port can have: the cycle ends as an unexpected error.
    std::optional<UpdateFailure> failure;
};

inline constexpr int kDefaultFtpPort = 21;

// Empty or not a number: the protocol's port. Otherwise the number, rounded halves to even;
// 1 to 65535 are ports, and anything outside 0 to 65535 is an overflow.
PortVerdict TakePort(const QString& portText, TransferProtocol protocol = TransferProtocol::Ftp);

// The date as the locale writes it short, and the time of day in its long
// form without the time zone.
QString CycleDateText(const QDateTime& moment, const QLocale& locale = QLocale::system());
QString CycleTimeText(const QDateTime& moment, const QLocale& locale = QLocale::system());

}  // namespace quendrel
