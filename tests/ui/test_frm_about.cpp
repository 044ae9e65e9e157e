#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include "ui/frm_about.h"
#include "version.h"

using namespace quendrel;

class TestFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void linesAndCaption()
    {
        FrmAbout about(nullptr);
        QCOMPARE(about.windowTitle(), QStringLiteral("Quendrel - About"));
        QCOMPARE(about.lblMessage[1]->text(), QStringLiteral(" v4.6.0"));  // the revision shows, even 0
        for (QLabel* line : about.lblMessage)
            QVERIFY2(line->width() >= line->sizeHint().width() && line->height() >= line->sizeHint().height(),
                     qPrintable(line->objectName()));
    }

    // The pointer wanders over the window; after each step at most one link line
    // (3 the web address, 4 the e-mail address) is highlighted and shows the hand.
    void pointerHighlightsOneLinkAtATime()
    {
        FrmAbout about(nullptr);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const struct Step {
            const char* name;
            QWidget* over;  // null: the pointer leaves the window
            int highlighted;
            QPoint at = QPoint(2, 2);
        } path[] = {
            {"at rest, over the title", about.lblMessage[0], 0},
            {"onto the web line", about.lblMessage[3], 3},
            {"straight to the mail line", about.lblMessage[4], 4},
            {"onto the version line, which keeps it", about.lblMessage[1], 4},
            {"onto the logo, which keeps it too", &about, 4, about.Picture1->geometry().center()},
            {"back onto the web line", about.lblMessage[3], 3},
            {"onto the bare background", &about, 0, QPoint(about.width() - 3, about.height() - 3)},
            {"onto the mail line again", about.lblMessage[4], 4},
            {"out of the window", nullptr, 0},
        };
        for (const Step& step : path) {
            QMouseEvent move(QEvent::MouseMove, step.at, QPoint(), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(step.over ? step.over : &about, step.over ? &move : &leave);
            for (int line : {3, 4}) {
                const bool lit = line == step.highlighted;
                QVERIFY2(about.LineColour(line) == (lit ? FrmAbout::HighlightColour() : FrmAbout::LinkColour()),
                         step.name);
                QVERIFY2(about.lblMessage[line]->cursor().shape() == (lit ? Qt::PointingHandCursor : Qt::ArrowCursor),
                         step.name);
            }
        }
    }

    // A click on a link line opens it and closes the window; a click elsewhere does neither.
    void clickOpensLinkAndCloses_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("copyright") << 2 << QStringList();
        QTest::newRow("web address") << 3 << QStringList{"http://" + QString::fromUtf8(kMakerWebAddress)};
        QTest::newRow("e-mail") << 4 << QStringList{"mailto:" + QString::fromUtf8(kSupportEmail)};
    }

    void clickOpensLinkAndCloses()
    {
        QFETCH(int, line);
        QFETCH(QStringList, opened);
        QStringList urls;
        QPointer<FrmAbout> about = new FrmAbout([&](const QUrl& url) { urls.append(url.toString()); });
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QTest::mouseClick(about->lblMessage[line], Qt::LeftButton);
        QCOMPARE(urls, opened);
        if (opened.isEmpty()) {
            QVERIFY(about && about->isVisible());
            delete about;
        } else {
            QTRY_VERIFY(about.isNull());  // closed and gone
        }
    }
};

QTEST_MAIN(TestFrmAbout)
#include "test_frm_about.moc"
