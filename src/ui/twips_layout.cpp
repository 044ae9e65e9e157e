#include "ui/twips_layout.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace quendrel {

namespace {
constexpr double kTwipsPerPixel = 15.0;
}  // namespace

QSize SpaceForText(const QWidget* widget)
{
    const QFontMetrics metrics = widget->fontMetrics();
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        // A push button's preferred size carries generous padding; the
        // caption itself needs its text plus the bevel.
        if (button->text().isEmpty())
            return QSize(button->iconSize().width() + 4, button->iconSize().height() + 4);
        return QSize(metrics.horizontalAdvance(button->text()) + 8, metrics.height() + 2);
    }
    if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLabel*>(widget) ||
        qobject_cast<const QTabBar*>(widget))
        return widget->sizeHint();
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget))
        return QSize(0, widget->minimumSizeHint().height());
    if (const auto* box = qobject_cast<const QGroupBox*>(widget))
        return QSize(metrics.horizontalAdvance(box->title()) + 16, 0);
    return QSize();
}

void TwipsLayout::add(QWidget* widget, int left, int top, int width, int height)
{
    placements_.append({widget, QRect(left, top, width, height)});
}

double TwipsLayout::fittingScale() const
{
    double scale = extraScale_;
    for (const TwipsPlacement& p : placements_) {
        const QSize wanted = SpaceForText(p.widget);
        // One pixel of slack for the rounding in toPixels().
        if (wanted.width() > 0)
            scale = std::max(scale, (wanted.width() + 1) / (p.twips.width() / kTwipsPerPixel));
        if (wanted.height() > 0)
            scale = std::max(scale, (wanted.height() + 1) / (p.twips.height() / kTwipsPerPixel));
    }
    return std::min(scale, kLargestScale);
}

void TwipsLayout::requireWidth(int twips, int pixels)
{
    extraScale_ = std::max(extraScale_, (pixels + 1) / (twips / kTwipsPerPixel));
}

void TwipsLayout::apply(double scale) const
{
    for (const TwipsPlacement& p : placements_)
        p.widget->setGeometry(toPixels(p.twips, scale));
}

int TwipsLayout::toPixels(int twips, double scale)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel * scale));
}

QRect TwipsLayout::toPixels(const QRect& twips, double scale)
{
    const int left = toPixels(twips.left(), scale);
    const int top = toPixels(twips.top(), scale);
    // Right and bottom edges are rounded themselves, so neighbours that
    // touch in twips still touch in pixels.
    const int right = toPixels(twips.left() + twips.width(), scale);
    const int bottom = toPixels(twips.top() + twips.height(), scale);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace quendrel
