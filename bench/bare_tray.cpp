// The yardstick for the idle footprint: a Qt 6 program that shows one icon
// in the notification area and nothing else.
#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/icons/app-16.png")));
    icon.setToolTip(QStringLiteral("bare tray"));
    icon.show();
    return app.exec();
}
