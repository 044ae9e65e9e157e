#include "update/update_inputs.h"

#include <QRegularExpression>

#include "common/number_text.h"

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

std::optional<UpdateFailure> ValidateUpdateInputs(const UpdateInputs& in)
{
    bool missing = in.destFilename.isEmpty() || in.server.isEmpty() || in.username.isEmpty() || in.password.isEmpty();
    if (!in.defaultPage)
        missing = missing || in.templatePath.isEmpty();
    if (!in.directlyConnected)
        missing = missing || in.ipWebPage.isEmpty() || in.startString.isEmpty() || in.endString.isEmpty();
    if (missing)
        return UpdateFailure{update_text::kRequiredFieldsMissing};
    return std::nullopt;
}

PortVerdict TakePort(const QString& portText)
{
    const QString text = TrimSpaces(portText);
    const std::optional<double> number = text.isEmpty() ? std::nullopt : ParseNumberText(text);
    if (!number)
        return {kDefaultFtpPort, true, std::nullopt};
    const long long port = RoundHalfToEven(*number);
    if (port < 0 || port > 65535)
        return {kDefaultFtpPort, false, UpdateFailure::Unexpected(QStringLiteral("Overflow"), kOverflowError)};
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
