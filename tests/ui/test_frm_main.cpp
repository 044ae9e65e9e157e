#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "common/program_paths.h"
#include "ui/close_suppression.h"
#include "ui/frm_main.h"
#include "ui/twips_layout.h"

using namespace quendrel;

class TestFrmMain : public QObject {
    Q_OBJECT

private slots:
    void captions_data();
    void captions();
    void tabShowsItsFrameOnly_data();
    void tabShowsItsFrameOnly();
    void connectionTypeEnablesGatewayFields();
    void pageTypeEnablesTemplateFields();
    void passwordShowsStars();
    void noCaptionClipped_data();
    void noCaptionClipped();
    void frameIsFixedAndCannotBeClosed();
    void copyIPFollowsCurrentIP_data();
    void copyIPFollowsCurrentIP();
    void trayMenuFirstItemFollowsVisibility();
    void sourceFileDialog();
    void commandsRaiseTheirSignals_data();
    void commandsRaiseTheirSignals();
};

namespace {

QString CaptionOf(QObject* object)
{
    if (auto* label = qobject_cast<QLabel*>(object))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(object))
        return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(object))
        return box->title();
    if (auto* action = qobject_cast<QAction*>(object))
        return action->text();
    if (auto* menu = qobject_cast<QMenu*>(object))
        return menu->title();
    return QStringLiteral("<no caption>");
}

}  // namespace

void TestFrmMain::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char* rows[][2] = {
        {"Label(0)", "FTP Server:"},
        {"Label(1)", "Username:"},
        {"Label(2)", "Password:"},
        {"Label(3)", "Update Interval:"},
        {"Label(4)", "Start with Windows:"},
        {"Label(5)", "Port:"},
        {"Label(6)", "Remote Path:"},
        {"Label(7)", "Update on Start:"},
        {"Label(8)", "IP Webpage:"},
        {"Label(9)", "Parse Start String:"},
        {"Label(10)", "Parse End String:"},
        {"Label(11)", "Destination Filename:"},
        {"Label(12)", "-> Delay 5 Min"},
        {"Label(13)", "Min"},
        {"Frame1", "General Settings"},
        {"Frame2", "Webpage Generation Settings"},
        {"Frame3", "FTP Server Settings"},
        {"Frame4", "External IP Webpage Settings"},
        {"cmdUpdate", "Update Now!"},
        {"cmdBrowse", ""},
        {"chkStartWithWindows", ""},
        {"optWebpageType(0)", "Use Default"},
        {"optWebpageType(1)", "Use Custom"},
        {"lblSourceFilepath", "Source Filepath:"},
        {"lblWebpageTags", "Use <IP> for IP Address; <DATE> for Date; <TIME> for Time"},
        {"optPasAct(0)", "Active"},
        {"optPasAct(1)", "Passive"},
        {"optConType(0)", "Directly Connected"},
        {"optConType(1)", "Behind Gateway/Router"},
        {"mnuMain_File", "File"},
        {"mnuMain_File_Update", "Update"},
        {"mnuMain_File_CopyIP", "Copy IP"},
        {"mnuMain_File_Exit", "Exit"},
        {"mnuMain_Help", "Help"},
        {"mnuMain_Help_Help", "Help"},
        {"mnuMain_Help_About", "About"},
        {"mnuTray", "Tray"},
        {"mnuShow", "Show"},
        {"mnuUpdate", "Update"},
        {"mnuCopyIP", "Copy IP"},
        {"mnuHelp", "Help"},
        {"mnuAbout", "About"},
        {"mnuExit", "Exit"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
}

void TestFrmMain::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    ProgramState state;
    FrmMain window(state);
    QObject* control = window.findChild<QObject*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QCOMPARE(CaptionOf(control), caption);
    // Labels show their text as typed: "<IP>" must not vanish as markup.
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestFrmMain::tabShowsItsFrameOnly_data()
{
    QTest::addColumn<int>("tabNumber");
    QTest::addColumn<int>("visibleFrame");  // 0: the previous one stays
    QTest::newRow("General") << 1 << 1;
    QTest::newRow("Webpage Generation") << 2 << 2;
    QTest::newRow("FTP Server") << 3 << 3;
    QTest::newRow("Advanced") << 4 << 4;
    QTest::newRow("no tab 0") << 0 << 0;
    QTest::newRow("no tab 5") << 5 << 0;
}

void TestFrmMain::tabShowsItsFrameOnly()
{
    QFETCH(int, tabNumber);
    QFETCH(int, visibleFrame);
    ProgramState state;
    FrmMain window(state);
    window.show();
    window.TabStrip1->setCurrentIndex(2);  // start from "FTP Server"
    if (tabNumber >= 1 && tabNumber <= 4)
        window.TabStrip1->setCurrentIndex(tabNumber - 1);
    else
        window.TabStrip1Click(tabNumber);
    const int expected = visibleFrame == 0 ? 3 : visibleFrame;
    for (int i = 0; i < 4; ++i)
        QCOMPARE(window.Frames[i]->isVisible(), i + 1 == expected);
}

void TestFrmMain::connectionTypeEnablesGatewayFields()
{
    ProgramState state;
    FrmMain window(state);
    window.optConType[1]->setChecked(true);
    window.cmbIPWebPage->setEditText(QStringLiteral("http://127.0.0.1/ip"));
    window.txtStartString->setText(QStringLiteral("Address: "));
    window.txtEndString->setText(QStringLiteral("<"));

    window.optConType[0]->click();
    for (QWidget* field : {static_cast<QWidget*>(window.cmbIPWebPage), static_cast<QWidget*>(window.txtStartString),
                           static_cast<QWidget*>(window.txtEndString)})
        QVERIFY(!field->isEnabled());
    QVERIFY(window.Label[8]->isEnabled());  // the labels stay as they are
    QCOMPARE(window.cmbIPWebPage->currentText(), QStringLiteral("http://127.0.0.1/ip"));

    window.optConType[1]->click();
    QVERIFY(window.cmbIPWebPage->isEnabled() && window.txtStartString->isEnabled() && window.txtEndString->isEnabled());
    QCOMPARE(window.txtStartString->text(), QStringLiteral("Address: "));
    QCOMPARE(window.txtEndString->text(), QStringLiteral("<"));
}

void TestFrmMain::pageTypeEnablesTemplateFields()
{
    ProgramState state;
    FrmMain window(state);
    const QList<QWidget*> dependents = {window.lblSourceFilepath, window.txtSourceFilepath, window.cmdBrowse,
                                        window.lblWebpageTags};
    for (QWidget* w : dependents)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    window.optWebpageType[1]->click();
    for (QWidget* w : dependents)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(window.txtDestFilename->isEnabled());
    window.txtSourceFilepath->setText(QStringLiteral("/home/me/page.htm"));
    window.optWebpageType[0]->click();
    for (QWidget* w : dependents)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(window.txtDestFilename->isEnabled());
    QCOMPARE(window.txtSourceFilepath->text(), QStringLiteral("/home/me/page.htm"));
}

void TestFrmMain::passwordShowsStars()
{
    ProgramState state;
    FrmMain window(state);
    window.show();
    QTest::keyClicks(window.txtPassword, QStringLiteral("s3cr3t"));
    QCOMPARE(window.txtPassword->text(), QStringLiteral("s3cr3t"));
    QCOMPARE(window.txtPassword->displayText(), QStringLiteral("******"));
}

void TestFrmMain::noCaptionClipped_data()
{
    QTest::addColumn<qreal>("pointSize");
    QTest::newRow("desktop default") << qreal(0);
    QTest::newRow("11 pt") << qreal(11);
    QTest::newRow("13 pt") << qreal(13);
}

void TestFrmMain::noCaptionClipped()
{
    QFETCH(qreal, pointSize);
    const QFont original = QApplication::font();
    if (pointSize > 0) {
        QFont larger = original;
        larger.setPointSizeF(pointSize);
        QApplication::setFont(larger);
    }
    {
        ProgramState state;
        FrmMain window(state);
        window.show();
        for (QWidget* w : window.findChildren<QWidget*>()) {
            // The window's own controls only, not the parts Qt builds inside them.
            const QWidget* parent = w->parentWidget();
            if (w->objectName().isEmpty() || qobject_cast<const QTabBar*>(parent) ||
                qobject_cast<const QComboBox*>(parent))
                continue;
            const QSize needed = SpaceForText(w);
            if (needed.width() > 0)
                QVERIFY2(w->width() >= needed.width(),
                         qPrintable(QStringLiteral("%1 is %2 wide, needs %3").arg(w->objectName()).arg(w->width()).arg(needed.width())));
            if (needed.height() > 0)
                QVERIFY2(w->height() >= needed.height(),
                         qPrintable(QStringLiteral("%1 is %2 high, needs %3").arg(w->objectName()).arg(w->height()).arg(needed.height())));
        }
        // All four tabs fit on the strip.
        QVERIFY(window.TabStrip1->tabRect(3).right() <= window.TabStrip1->width());
        // The frames lie in the tab strip's panel, under the tabs.
        QVERIFY(window.Frames[0]->geometry().top() >= window.TabStrip1->geometry().bottom());
    }
    QApplication::setFont(original);
}

void TestFrmMain::frameIsFixedAndCannotBeClosed()
{
    ProgramState state;
    FrmMain window(state);
    SuppressCloseCommand(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const QSize before = window.size();
    window.resize(before + QSize(100, 100));
    QCOMPARE(window.size(), before);
    // Close requests are refused; minimising still works.
    SuppressCloseCommand(&window);  // a second call changes nothing
    SuppressCloseCommand(nullptr);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    window.showMinimized();
    QVERIFY(window.isMinimized());
}

void TestFrmMain::copyIPFollowsCurrentIP_data()
{
    QTest::addColumn<QString>("currentIP");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("before any update") << QString() << false;
    QTest::newRow("after an update") << QStringLiteral("192.0.2.1, 198.51.100.2") << true;
}

void TestFrmMain::copyIPFollowsCurrentIP()
{
    QFETCH(QString, currentIP);
    QFETCH(bool, enabled);
    ProgramState state;
    FrmMain window(state);
    // Set the opposite first: the menus refresh only as they open.
    window.mnuMain_File_CopyIP->setEnabled(!enabled);
    window.mnuCopyIP->setEnabled(!enabled);
    state.CurrentIP = currentIP;
    emit window.mnuMain_File->aboutToShow();
    emit window.mnuTray->aboutToShow();
    QCOMPARE(window.mnuMain_File_CopyIP->isEnabled(), enabled);
    QCOMPARE(window.mnuCopyIP->isEnabled(), enabled);
    if (enabled) {
        QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
        window.mnuCopyIP->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), currentIP);
    }
}

void TestFrmMain::trayMenuFirstItemFollowsVisibility()
{
    ProgramState state;
    FrmMain window(state);
    emit window.mnuTray->aboutToShow();
    QCOMPARE(window.mnuShow->text(), QStringLiteral("Show"));
    window.mnuShow->trigger();
    QVERIFY(window.isVisible());
    emit window.mnuTray->aboutToShow();
    QCOMPARE(window.mnuShow->text(), QStringLiteral("Hide"));
    window.mnuShow->trigger();
    QVERIFY(!window.isVisible());
}

void TestFrmMain::sourceFileDialog()
{
    ProgramState state;
    FrmMain window(state);
    QStringList asked;
    QString answer = QStringLiteral("/srv/templates/my page.htm");
    window.SetOpenFileDialog([&](const QString& title, const QString& dir, const QString& filter) {
        asked = {title, dir, filter};
        return answer;
    });
    window.optWebpageType[1]->click();
    window.cmdBrowse->click();
    QCOMPARE(asked.value(0), QStringLiteral("Select the Source File.."));
    QCOMPARE(asked.value(1), AddBackslash(ProgramDirectory()));
    QCOMPARE(asked.value(2), QStringLiteral("All Files (*)"));
    QCOMPARE(window.txtSourceFilepath->text(), answer);

    answer.clear();  // cancelled: the path stays
    window.cmdBrowse->click();
    QCOMPARE(window.txtSourceFilepath->text(), QStringLiteral("/srv/templates/my page.htm"));
}

void TestFrmMain::commandsRaiseTheirSignals_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("signal");
    QTest::newRow("Update Now!") << "cmdUpdate" << SIGNAL(UpdateRequested());
    QTest::newRow("File > Update") << "mnuMain_File_Update" << SIGNAL(UpdateRequested());
    QTest::newRow("tray Update") << "mnuUpdate" << SIGNAL(UpdateRequested());
    QTest::newRow("File > Exit") << "mnuMain_File_Exit" << SIGNAL(ExitRequested());
    QTest::newRow("tray Exit") << "mnuExit" << SIGNAL(ExitRequested());
    QTest::newRow("Help > Help") << "mnuMain_Help_Help" << SIGNAL(HelpRequested());
    QTest::newRow("tray Help") << "mnuHelp" << SIGNAL(HelpRequested());
    QTest::newRow("Help > About") << "mnuMain_Help_About" << SIGNAL(AboutRequested());
    QTest::newRow("tray About") << "mnuAbout" << SIGNAL(AboutRequested());
}

void TestFrmMain::commandsRaiseTheirSignals()
{
    QFETCH(QString, control);
    QFETCH(QString, signal);
    ProgramState state;
    FrmMain window(state);
    const QList<const char*> all = {SIGNAL(UpdateRequested()), SIGNAL(ExitRequested()), SIGNAL(HelpRequested()),
                                    SIGNAL(AboutRequested())};
    QList<QSharedPointer<QSignalSpy>> spies;
    for (const char* s : all)
        spies.append(QSharedPointer<QSignalSpy>::create(&window, s));
    if (auto* button = window.findChild<QPushButton*>(control))
        button->click();
    else
        window.findChild<QAction*>(control)->trigger();
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(spies[i]->count(), QLatin1String(all[i]) == signal ? 1 : 0);
}

QTEST_MAIN(TestFrmMain)
#include "test_frm_main.moc"
