#pragma once

#include <QRect>
#include <QSize>
#include <QVector>

class QWidget;

namespace quendrel {

// The windows are laid out in twips: 15 twips make one pixel at 96 dpi.
// Desktop fonts on Linux are larger than the ones the layout was drawn for,
// so the whole arrangement is scaled by one factor, chosen so that no
// caption is clipped. The arrangement and the fixed size are kept.
struct TwipsPlacement {
    QWidget* widget;
    QRect twips;  // left, top, width, height in twips
};

// The size a widget needs so that its caption or text shows whole; a zero
// width or height puts no demand on that direction.
QSize SpaceForText(const QWidget* widget);

class TwipsLayout {
public:
    void add(QWidget* widget, int left, int top, int width, int height);

    // Smallest factor (at least 1) at which every widget's text fits its
    // scaled rectangle.
    double fittingScale() const;

    // Also scale until a span of this many twips holds this many pixels.
    void requireWidth(int twips, int pixels);

    // Places every widget at its rectangle scaled by the factor.
    void apply(double scale) const;

    static int toPixels(int twips, double scale);
    static QRect toPixels(const QRect& twips, double scale);

    // A font more than twice the expected size would make a window wider
    // than most screens; beyond that, clipping is the lesser evil.
    static constexpr double kLargestScale = 2.0;

private:
    QVector<TwipsPlacement> placements_;
    double extraScale_ = 1.0;
};

}  // namespace quendrel
