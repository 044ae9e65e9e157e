#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "ui/state_images.h"
#include "ui/tray_icon.h"

using namespace quendrel;

class TestTrayIcon : public QObject {
    Q_OBJECT

private slots:
    void tipIsCutTo63Characters_data();
    void tipIsCutTo63Characters();
    void addAndModifyCutTheTip();
    void onlyASingleLeftClickToggles_data();
    void onlyASingleLeftClickToggles();
    void stateImagesAreDistinct();
};

void TestTrayIcon::tipIsCutTo63Characters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    const QString sixtyThree(63, QLatin1Char('a'));
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("title") << "Quendrel" << "Quendrel";
    QTest::newRow("63 stay") << sixtyThree << sixtyThree;
    QTest::newRow("64 lose one") << sixtyThree + "b" << sixtyThree;
    QTest::newRow("long status")
        << "Quendrel - 203.0.113.7, 198.51.100.22, 192.0.2.200 - 06/12/2026 - 10:11:12"
        << "Quendrel - 203.0.113.7, 198.51.100.22, 192.0.2.200 - 06/12/2026";
    // A character outside the basic plane is never cut in half.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8C\x90");
    QTest::newRow("pair across the cut") << QString(62, QLatin1Char('a')) + emoji + "z"
                                         << QString(62, QLatin1Char('a'));
    QTest::newRow("pair inside") << QString(61, QLatin1Char('a')) + emoji + "z"
                                 << QString(61, QLatin1Char('a')) + emoji;
}

void TestTrayIcon::tipIsCutTo63Characters()
{
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QCOMPARE(TrayTip(text), tip);
}

void TestTrayIcon::addAndModifyCutTheTip()
{
    TrayIcon tray;
    ImageList images;
    tray.AddTrayIcon(WindowIcon(), QStringLiteral("Quendrel"), nullptr);
    QCOMPARE(tray.Tip(), QStringLiteral("Quendrel"));
    QVERIFY(tray.IsShown());
    const QString long70 = QStringLiteral("Quendrel (") + QString(60, QLatin1Char('x'));
    tray.ModifyTrayIcon(images.Image(StateImage::Failed), long70);
    QCOMPARE(tray.Tip(), long70.left(63));
    tray.DeleteTrayIcon();
    QVERIFY(!tray.IsShown());
}

void TestTrayIcon::onlyASingleLeftClickToggles_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("toggles");
    QTest::newRow("left click") << int(QSystemTrayIcon::Trigger) << 1;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << 0;
    QTest::newRow("context menu") << int(QSystemTrayIcon::Context) << 0;
    QTest::newRow("middle button") << int(QSystemTrayIcon::MiddleClick) << 0;
}

void TestTrayIcon::onlyASingleLeftClickToggles()
{
    QFETCH(int, reason);
    QFETCH(int, toggles);
    TrayIcon tray;
    QSignalSpy spy(&tray, &TrayIcon::LeftClicked);
    auto* icon = tray.findChild<QSystemTrayIcon*>();
    QVERIFY(icon != nullptr);
    emit icon->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
    QCOMPARE(spy.count(), toggles);
}

void TestTrayIcon::stateImagesAreDistinct()
{
    // The pictures are compiled in; a missing resource would show nothing.
    ImageList images;
    QList<QImage> pictures;
    for (StateImage which : {StateImage::Ready, StateImage::Busy, StateImage::Failed}) {
        const QImage picture = images.Image(which).pixmap(16, 16).toImage();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), QSize(16, 16));
        for (const QImage& other : pictures)
            QVERIFY(picture != other);
        pictures.append(picture);
    }
    QCOMPARE(images.Image(StateImage::Ready).pixmap(16, 16).toImage(), WindowIcon().pixmap(16, 16).toImage());
}

QTEST_MAIN(TestTrayIcon)
#include "test_tray_icon.moc"
