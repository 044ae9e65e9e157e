#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include "ui/frm_about.h"
#include "version.h"

using namespace quendrel;

namespace {

void MoveOver(QWidget* widget, QPoint at = QPoint(2, 2))
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Moves the pointer along a path: "3", "4" are the link lines, "0".."2" the
// others, "logo" the picture, "bg" the bare background and "out" leaves.
void FollowPath(FrmAbout& about, const QString& path)
{
    for (const QString& step : path.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("out")) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&about, &leave);
        } else if (step == QLatin1String("logo"))
            MoveOver(about.Picture1);
        else if (step == QLatin1String("bg"))
            MoveOver(&about, QPoint(about.width() - 3, about.height() - 3));
        else
            MoveOver(about.lblMessage[step.toInt()]);
    }
}

}  // namespace

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

    void pointerHighlightsOneLinkAtATime_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("webHighlighted");
        QTest::addColumn<bool>("mailHighlighted");
        QTest::newRow("at rest") << "" << false << false;
        QTest::newRow("over the web line") << "3" << true << false;
        QTest::newRow("web straight to mail") << "3 4" << false << true;
        QTest::newRow("onto the version line") << "3 1" << true << false;
        QTest::newRow("over the logo, then the background") << "3 logo bg" << false << false;
        QTest::newRow("out of the window") << "3 out" << false << false;
    }

    void pointerHighlightsOneLinkAtATime()
    {
        QFETCH(QString, path);
        QFETCH(bool, webHighlighted);
        QFETCH(bool, mailHighlighted);
        FrmAbout about(nullptr);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        FollowPath(about, path);
        const auto expect = [](bool on) { return on ? FrmAbout::HighlightColour() : FrmAbout::LinkColour(); };
        QCOMPARE(about.LineColour(3), expect(webHighlighted));
        QCOMPARE(about.LineColour(4), expect(mailHighlighted));
        QCOMPARE(about.lblMessage[3]->cursor().shape(), webHighlighted ? Qt::PointingHandCursor : Qt::ArrowCursor);
        QCOMPARE(about.lblMessage[4]->cursor().shape(), mailHighlighted ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

    void clickOpensLinkAndCloses_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("opened");  // empty: nothing opened, window stays
        QTest::newRow("title") << 0 << QString();
        QTest::newRow("copyright") << 2 << QString();
        QTest::newRow("web address") << 3 << QStringLiteral("http://") + QString::fromUtf8(kMakerWebAddress);
        QTest::newRow("e-mail") << 4 << QStringLiteral("mailto:") + QString::fromUtf8(kSupportEmail);
    }

    void clickOpensLinkAndCloses()
    {
        QFETCH(int, line);
        QFETCH(QString, opened);
        QList<QUrl> urls;
        QPointer<FrmAbout> about = new FrmAbout([&](const QUrl& url) { urls.append(url); });
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QTest::mouseClick(about->lblMessage[line], Qt::LeftButton);
        if (opened.isEmpty()) {
            QVERIFY(urls.isEmpty());
            QVERIFY(about && about->isVisible());
            delete about;
            return;
        }
        QCOMPARE(urls.size(), 1);
        QCOMPARE(urls[0].toString(), opened);
        QTRY_VERIFY(about.isNull());  // closed and gone
    }
};

QTEST_MAIN(TestFrmAbout)
#include "test_frm_about.moc"
