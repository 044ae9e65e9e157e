#include "app/instance_channel.h"

// Placeholder until the channel is written: nothing listens, nobody answers.

namespace quendrel {

QString ChannelPathFor(const QString& lockPath)
{
    return lockPath + QStringLiteral(".sock");
}

InstanceServer::InstanceServer(Lifecycle& life, QString path, QObject* parent)
    : QObject(parent), life_(life), path_(std::move(path))
{
}

bool InstanceServer::Listen()
{
    return false;
}

std::optional<int> AskRunningInstance(const QString&, const QByteArray&, const std::function<void(const QString&)>&,
                                      const std::function<bool()>&)
{
    return std::nullopt;
}

}  // namespace quendrel
