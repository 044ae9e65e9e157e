#include "update/update_inputs.h"

#include <QRegularExpression>
#include <QStringList>

#include "common/number_text.h"
#include "update/server_key.h"

namespace quendrel {

namespace {

// The format without its time-zone field ("t") and what only framed or
// set it off: brackets left empty, a comma or blanks left at either end
// ("HH:mm:ss (t)", "HH:mm:ss, t", "h:mm:ss AP t").
QString WithoutTimeZone(const QString& format)
{
    QString plain;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        plain += c;
    }
    static const QRegularExpression emptyBrackets(QStringLiteral(R"(\(\s*\)|\[\s*\])"));
    static const QRegularExpression danglingEnds(QStringLiteral(R"(^[\s,]+|[\s,]+$)"));
    return plain.remove(emptyBrackets).remove(danglingEnds);
}

}  // namespace

namespace {

using MissingInputs = QStringList;

void Need(MissingInputs& missing, const QString& text, const char* name)
{
    if (text.isEmpty())
        missing << QLatin1String(name);
}

// Empty strings are the plain answers' (see CutIPAddress).
void NeedAddressInputs(const UpdateInputs& in, MissingInputs& missing)
{
    if (!in.directlyConnected)
        Need(missing, in.ipWebPage, "IP web page");
}

void NeedFtpInputs(const UpdateInputs& in, MissingInputs& missing)
{
    Need(missing, in.server, "FTP server");
    Need(missing, in.username, "user name");
    // SFTP without a password logs in with the SSH agent or ~/.ssh's keys.
    if (in.protocol != TransferProtocol::Sftp)
        Need(missing, in.password, "password");
}

// Settings that cannot work, refused before anything is sent: a stored
// server key that is none, and active mode over TLS where libcurl cannot
// do it (the upload would store an empty file).
std::optional<UpdateFailure> RefuseUnworkable(const UpdateInputs& in)
{
    const bool secure = in.protocol != TransferProtocol::Ftp;
    if (secure && !in.serverKey.isEmpty() && !ParseServerKey(in.serverKey))
        return UpdateFailure{update_text::UnableToConnectTo(in.server),
                             QStringLiteral("the server key \"%1\" is not \"SHA256:\" and a SHA-256 hash in base64")
                                 .arg(in.serverKey)};
    if (UsesTls(in.protocol) && in.active)
        if (std::optional<QString> reason = ActiveTlsUnavailable())
            return UpdateFailure{update_text::kActiveTlsUnavailable, *reason};
    return std::nullopt;
}

std::optional<UpdateFailure> MissingFailure(const MissingInputs& missing)
{
    if (missing.isEmpty())
        return std::nullopt;
    return UpdateFailure{update_text::kRequiredFieldsMissing, QStringLiteral("empty: ") + missing.join(u", ")};
}

}  // namespace

std::optional<UpdateFailure> ValidateUpdateInputs(const UpdateInputs& in)
{
    MissingInputs missing;
    NeedAddressInputs(in, missing);
    if (!in.defaultPage)
        Need(missing, in.templatePath, "source file");
    Need(missing, in.destFilename, "destination file name");
    NeedFtpInputs(in, missing);
    if (auto failure = MissingFailure(missing))
        return failure;
    return RefuseUnworkable(in);
}

std::optional<UpdateFailure> ValidateAddressInputs(const UpdateInputs& in)
{
    MissingInputs missing;
    NeedAddressInputs(in, missing);
    return MissingFailure(missing);
}

std::optional<UpdateFailure> ValidateFtpInputs(const UpdateInputs& in)
{
    MissingInputs missing;
    NeedFtpInputs(in, missing);
    if (auto failure = MissingFailure(missing))
        return failure;
    return RefuseUnworkable(in);
}

PortVerdict TakePort(const QString& portText, TransferProtocol protocol)
{
    const QString text = TrimSpaces(portText);
    const std::optional<double> number = text.isEmpty() ? std::nullopt : ParseNumberText(text);
    if (!number)
        return {DefaultPort(protocol), true, std::nullopt};
    const long long port = RoundHalfToEven(*number);
    if (port < 0 || port > 65535)
        return {kDefaultFtpPort, false,
                UpdateFailure::Unexpected(QStringLiteral("Overflow"), kOverflowError,
                                          QStringLiteral("the port %1 is out of range").arg(port))};
    return {static_cast<int>(port), false, std::nullopt};
}

QString CycleDateText(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.date(), QLocale::ShortFormat);
}

QString CycleTimeText(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.time(), WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace quendrel
