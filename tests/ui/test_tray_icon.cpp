#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "ui/state_images.h"
#include "ui/tray_icon.h"

using namespace quendrel;

class TestTrayIcon : public QObject {
    Q_OBJECT

private slots:
    // The tip keeps its first 63 UTF-16 units, never half of a surrogate pair.
    void tipIsCutTo63Characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        const QString a62(62, QLatin1Char('a'));
        const QString globe = QString::fromUtf8("\xF0\x9F\x8C\x90");  // two UTF-16 units
        QTest::newRow("63 stay") << a62 + "b" << a62 + "b";
        QTest::newRow("64 lose one") << a62 + "bc" << a62 + "b";
        QTest::newRow("pair across the cut") << a62 + globe + "z" << a62;
        QTest::newRow("pair inside") << a62.left(61) + globe + "z" << a62.left(61) + globe;
    }

    void tipIsCutTo63Characters()
    {
        QFETCH(QString, text);
        QFETCH(QString, tip);
        TrayIcon tray;
        tray.ModifyTrayIcon(WindowIcon(), text);
        QCOMPARE(tray.Tip(), tip);
    }

    // A double click arrives as a click and then a double click: only the click toggles.
    void onlyASingleLeftClickToggles()
    {
        TrayIcon tray;
        QSignalSpy toggled(&tray, &TrayIcon::LeftClicked);
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        for (auto other : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick}) {
            emit icon->activated(other);
            QVERIFY2(toggled.isEmpty(), qPrintable(QStringLiteral("activation reason %1").arg(other)));
        }
        emit icon->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(toggled.count(), 1);
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
