#pragma once

#include <QWidget>

#include <array>

#include "ui/twips_layout.h"
#include "ui/url_opener.h"

class QLabel;

namespace quendrel {

// The About window: name, version, copyright and two link lines (the
// maker's web address and the support e-mail address). It stands on its
// own, without an owner, and deletes itself when closed.
class FrmAbout : public QWidget {
    Q_OBJECT

public:
    explicit FrmAbout(UrlOpener open, QWidget* parent = nullptr);

    QLabel* Picture1 = nullptr;
    std::array<QLabel*, 5> lblMessage{};

    // Colours of the link lines at rest and under the pointer.
    static QColor LinkColour();
    static QColor HighlightColour();
    QColor LineColour(int index) const;

    // What the pointer does over a line, over the background, and a click.
    void lblMessageMouseMove(int index);
    void BackgroundMouseMove();
    void lblMessageClick(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetLinkState(int index, bool highlighted);
    int LineIndexOf(const QObject* object) const;

    UrlOpener open_;
    TwipsLayout layout_;
};

}  // namespace quendrel
