#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "ui/state_images.h"
#include "ui/tray_icon.h"

using namespace quendrel;

class TestTrayIcon : public QObject {
    Q_OBJECT

private slots:
    void tipIsCutTo63Characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        const QString a62(62, QLatin1Char('a'));
        const QString globe = QString::fromUtf8("\xF0\x9F\x8C\x90");  // two UTF-16 units
        QTest::newRow("short") << "Quendrel" << "Quendrel";
        QTest::newRow("63 stay") << a62 + "b" << a62 + "b";
        QTest::newRow("64 lose one") << a62 + "bc" << a62 + "b";
        QTest::newRow("pair across the cut") << a62 + globe + "z" << a62;
        QTest::newRow("pair inside") << a62.left(61) + globe + "z" << a62.left(61) + globe;
    }

    void tipIsCutTo63Characters()
    {
        QFETCH(QString, text);
        QFETCH(QString, tip);
        QCOMPARE(TrayTip(text), tip);
        TrayIcon tray;
        tray.AddTrayIcon(WindowIcon(), QStringLiteral("Quendrel"), nullptr);
        tray.ModifyTrayIcon(WindowIcon(), text);
        QCOMPARE(tray.Tip(), tip);
    }

    void onlyASingleLeftClickToggles_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("toggles");
        QTest::newRow("left click") << int(QSystemTrayIcon::Trigger) << 1;
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << 0;
        QTest::newRow("context menu") << int(QSystemTrayIcon::Context) << 0;
        QTest::newRow("middle button") << int(QSystemTrayIcon::MiddleClick) << 0;
    }

    void onlyASingleLeftClickToggles()
    {
        QFETCH(int, reason);
        QFETCH(int, toggles);
        TrayIcon tray;
        QSignalSpy spy(&tray, &TrayIcon::LeftClicked);
        emit tray.findChild<QSystemTrayIcon*>()->activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(spy.count(), toggles);
    }

    void stateImagesAreCompiledInAndDistinct()
    {
        ImageList images;
        QList<QImage> seen;
        for (StateImage which : {StateImage::Ready, StateImage::Busy, StateImage::Failed}) {
            const QImage picture = images.Image(which).pixmap(16, 16).toImage();
            QCOMPARE(picture.size(), QSize(16, 16));
            QVERIFY(!seen.contains(picture));
            seen.append(picture);
        }
        QCOMPARE(seen[0], WindowIcon().pixmap(16, 16).toImage());  // ready is the window's own icon
    }
};


QTEST_MAIN(TestTrayIcon)
#include "test_tray_icon.moc"
