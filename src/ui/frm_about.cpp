#include "ui/frm_about.h"

#include <QLabel>
#include <QLayout>
#include <QMouseEvent>

#include "common/app_identity.h"
#include "ui/window_placement.h"
#include "version.h"

namespace quendrel {

namespace {

constexpr int kClientWidth = 4935;
constexpr int kClientHeight = 2055;  // the lines end at 1815; a margin below
constexpr int kLineLeft = 1560, kLineWidth = 3135;
constexpr int kLineTops[] = {240, 600, 960, 1320, 1560};
constexpr int kLineHeights[] = {375, 255, 255, 255, 255};
constexpr int kWebLine = 3, kMailLine = 4;

QFont TitleFont(double points)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

}  // namespace

QColor FrmAbout::LinkColour()
{
    return QColor(0, 0, 255);
}

QColor FrmAbout::HighlightColour()
{
    return QColor(128, 0, 0);
}

FrmAbout::FrmAbout(UrlOpener open, QWidget* parent) : QWidget(parent), open_(std::move(open))
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A fixed dialog frame with a close control only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QLatin1String(kAppTitle) + QStringLiteral(" - About"));
    setMouseTracking(true);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/icons/logo.png")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout_.add(Picture1, 240, 240, 1140, 975);

    const QString texts[] = {QLatin1String(kAppTitle), AboutVersionLine(), QString::fromUtf8(kCopyright),
                             QString::fromUtf8(kMakerWebAddress), QString::fromUtf8(kSupportEmail)};
    for (int i = 0; i < 5; ++i) {
        auto* line = new QLabel(texts[i], this);
        line->setObjectName(QStringLiteral("lblMessage(%1)").arg(i));
        line->setTextFormat(Qt::PlainText);
        line->setFrameShape(QFrame::NoFrame);
        line->setMouseTracking(true);
        line->installEventFilter(this);
        lblMessage[i] = line;
        layout_.add(line, kLineLeft, kLineTops[i], kLineWidth, kLineHeights[i]);
    }
    lblMessage[0]->setFont(TitleFont(15.75));
    lblMessage[1]->setFont(TitleFont(9.75));
    SetLinkState(kWebLine, false);
    SetLinkState(kMailLine, false);

    const double scale = layout_.fittingScale();
    layout_.apply(scale);
    setFixedSize(TwipsLayout::toPixels(kClientWidth, scale), TwipsLayout::toPixels(kClientHeight, scale));
    CentreOnScreen(*this);
}

QColor FrmAbout::LineColour(int index) const
{
    return lblMessage[index]->palette().color(QPalette::WindowText);
}

void FrmAbout::SetLinkState(int index, bool highlighted)
{
    QLabel* line = lblMessage[index];
    if (highlighted)
        line->setCursor(Qt::PointingHandCursor);
    else
        line->unsetCursor();
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, highlighted ? HighlightColour() : LinkColour());
    line->setPalette(palette);
}

void FrmAbout::lblMessageMouseMove(int index)
{
    if (index == kWebLine) {
        SetLinkState(kMailLine, false);
        SetLinkState(kWebLine, true);
    } else if (index == kMailLine) {
        SetLinkState(kWebLine, false);
        SetLinkState(kMailLine, true);
    }
}

void FrmAbout::BackgroundMouseMove()
{
    SetLinkState(kWebLine, false);
    SetLinkState(kMailLine, false);
}

void FrmAbout::lblMessageClick(int index)
{
    QUrl target;
    if (index == kWebLine)
        // The line shows a bare host name; the browser needs a scheme.
        target = QUrl::fromUserInput(lblMessage[kWebLine]->text());
    else if (index == kMailLine)
        target = QUrl(QStringLiteral("mailto:") + lblMessage[kMailLine]->text());
    else
        return;
    const UrlOpener open = open_;
    close();
    if (open)
        open(target);
}

int FrmAbout::LineIndexOf(const QObject* object) const
{
    for (int i = 0; i < 5; ++i) {
        if (lblMessage[i] == object)
            return i;
    }
    return -1;
}

bool FrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    const int index = LineIndexOf(watched);
    if (index < 0)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        lblMessageMouseMove(index);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && lblMessage[index]->rect().contains(mouse->position().toPoint())) {
            lblMessageClick(index);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmAbout::mouseMoveEvent(QMouseEvent* event)
{
    // Moves over the logo arrive here too; only the bare background counts.
    if (childAt(event->position().toPoint()) == nullptr)
        BackgroundMouseMove();
    QWidget::mouseMoveEvent(event);
}

void FrmAbout::leaveEvent(QEvent* event)
{
    // Leaving the window straight from a link line counts as the background.
    BackgroundMouseMove();
    QWidget::leaveEvent(event);
}

}  // namespace quendrel
