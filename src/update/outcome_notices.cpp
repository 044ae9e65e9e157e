#include "update/outcome_notices.h"

#include <QStringList>

#include "update/address_reach.h"

namespace quendrel {

std::optional<Notice> OutcomeNotices::AfterSuccess(const QString& addresses)
{
    QStringList lines;
    const bool changed = !published_.isEmpty() && addresses != published_;
    const QString change = QStringLiteral("Your IP address is now ") + addresses + QStringLiteral(" (it was ") +
                           published_ + QStringLiteral(").");
    if (failing_)
        lines.append(QStringLiteral("Updates work again: ") + addresses + QStringLiteral(" is published."));
    if (changed)
        lines.append(change);

    bool warning = false;
    const QString unreachable = UnreachableReason(addresses);
    if (unreachable.isEmpty()) {
        warnedUnreachable_.clear();
    } else if (addresses != warnedUnreachable_) {
        const bool several = addresses.contains(QLatin1Char(','));
        lines.append(unreachable + QStringLiteral(": visitors from the Internet cannot reach ") +
                     (several ? QStringLiteral("them.") : QStringLiteral("it.")));
        warnedUnreachable_ = addresses;
        warning = true;
    }

    published_ = addresses;
    failing_ = false;
    if (lines.isEmpty())
        return std::nullopt;
    return Notice{lines.join(QLatin1Char('\n')), warning};
}

std::optional<Notice> OutcomeNotices::AfterFailure(const QString& message)
{
    if (failing_)
        return std::nullopt;
    failing_ = true;
    return Notice{QStringLiteral("Updates are failing: ") + message, true};
}

}  // namespace quendrel
