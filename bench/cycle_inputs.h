#pragma once

#include <QString>

#include "support/test_servers.h"
#include "update/update_inputs.h"

namespace quendrel::bench {

// A whole cycle against the local test servers: the address from their /ip
// page, the built-in page written to directory, uploaded as site/ip.html.
inline UpdateInputs CycleInputs(const test::TestServers& servers, const QString& directory, bool active)
{
    UpdateInputs in;
    in.ipWebPage = servers.HttpUrl(QStringLiteral("/ip"));
    in.startString = QStringLiteral("<ip>");
    in.endString = QStringLiteral("</ip>");
    in.destFilename = QStringLiteral("ip.html");
    in.server = QStringLiteral("127.0.0.1");
    in.port = servers.FtpPort();
    in.remotePath = QStringLiteral("site");
    in.username = QStringLiteral("writer");
    in.password = QStringLiteral("secret");
    in.active = active;
    in.programDirectory = directory + u'/';
    in.dateText = QStringLiteral("06/12/2026");
    in.timeText = QStringLiteral("10:00:00");
    return in;
}

}  // namespace quendrel::bench
