#include "ui/state_images.h"

namespace quendrel {

namespace {

QIcon IconFromSizes(const QString& stem, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (int size : sizes)
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(stem).arg(size), QSize(size, size));
    return icon;
}

}  // namespace

QIcon WindowIcon()
{
    return IconFromSizes(QStringLiteral("app"), {16, 32, 48, 64, 128});
}

ImageList::ImageList()
    : ready_(WindowIcon()),
      busy_(IconFromSizes(QStringLiteral("busy"), {16})),
      failed_(IconFromSizes(QStringLiteral("failed"), {16}))
{
}

QIcon ImageList::Image(StateImage which) const
{
    switch (which) {
    case StateImage::Busy:
        return busy_;
    case StateImage::Failed:
        return failed_;
    case StateImage::Ready:
        break;
    }
    return ready_;
}

}  // namespace quendrel
