#include "common/app_identity.h"

#include "version.h"

namespace quendrel {

QString MainWindowCaption()
{
    return QStringLiteral("%1 %2.%3").arg(QLatin1String(kAppTitle)).arg(kVersionMajor).arg(kVersionMinor);
}

QString AboutVersionLine()
{
    return QStringLiteral(" v%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

}  // namespace quendrel
