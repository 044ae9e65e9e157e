#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include "common/program_paths.h"
#include "ui/close_suppression.h"
#include "ui/frm_main.h"
#include "ui/twips_layout.h"

using namespace quendrel;

class TestFrmMain : public QObject {
    Q_OBJECT

private slots:
    void tabShowsItsFrameOnly();
    void optionsEnableTheirDependents_data();
    void optionsEnableTheirDependents();
    void passwordShowsStars();
    void noCaptionClipped_data();
    void noCaptionClipped();
    void frameIsFixedAndCannotBeClosed();
    void menusFollowCurrentIPAndVisibility();
    void sourceFileDialog();
    void commandsRaiseTheirSignals_data();
    void commandsRaiseTheirSignals();
    void intervalBoxAndSlider_data();
    void intervalBoxAndSlider();
    void intervalMessageWaitsForTheUser();
};

void TestFrmMain::tabShowsItsFrameOnly()
{
    ProgramState state;
    FrmMain window(state);
    window.show();
    QVERIFY(window.Frames[0]->isVisible() && !window.Frames[1]->isVisible());
    for (int tab : {3, 1, 4, 2}) {
        window.TabStrip1->setCurrentIndex(tab - 1);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(window.Frames[i]->isVisible(), i + 1 == tab);
    }
    window.TabStrip1Click(5);  // no such tab: nothing changes
    QVERIFY(window.Frames[1]->isVisible());
}

void TestFrmMain::optionsEnableTheirDependents_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("dependents");
    QTest::addColumn<bool>("enabled");
    const QStringList gateway = {"cmbIPWebPage", "txtStartString", "txtEndString"};
    const QStringList custom = {"lblSourceFilepath", "txtSourceFilepath", "cmdBrowse", "lblWebpageTags"};
    QTest::newRow("Directly Connected") << "optConType(0)" << gateway << false;
    QTest::newRow("Behind Gateway/Router") << "optConType(1)" << gateway << true;
    QTest::newRow("Use Default") << "optWebpageType(0)" << custom << false;
    QTest::newRow("Use Custom") << "optWebpageType(1)" << custom << true;
}

void TestFrmMain::optionsEnableTheirDependents()
{
    QFETCH(QString, option);
    QFETCH(QStringList, dependents);
    QFETCH(bool, enabled);
    ProgramState state;
    FrmMain window(state);
    // Start from the other option so the click really changes something.
    const QString other = option.left(option.size() - 2) + (option.endsWith("0)") ? "1)" : "0)");
    window.findChild<QRadioButton*>(other)->click();
    for (const QString& name : dependents) {
        if (auto* edit = window.findChild<QLineEdit*>(name))
            edit->setText("kept " + name);
    }
    window.findChild<QRadioButton*>(option)->click();
    for (const QString& name : dependents) {
        QWidget* w = window.findChild<QWidget*>(name);
        QVERIFY2(w->isEnabled() == enabled, qPrintable(name));
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            QCOMPARE(edit->text(), "kept " + name);  // disabling keeps contents
    }
    QVERIFY(window.txtDestFilename->isEnabled() && window.Label[8]->isEnabled());
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
    ProgramState state;
    auto window = std::make_unique<FrmMain>(state);
    window->show();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // The window's own controls only, not the parts Qt builds inside them.
        const QWidget* parent = w->parentWidget();
        if (w->objectName().isEmpty() || qobject_cast<const QTabBar*>(parent) || qobject_cast<const QComboBox*>(parent))
            continue;
        const QSize needed = SpaceForText(w);
        QVERIFY2(w->width() >= needed.width() && w->height() >= needed.height(),
                 qPrintable(QStringLiteral("%1 is %2x%3, needs %4x%5")
                                .arg(w->objectName()).arg(w->width()).arg(w->height())
                                .arg(needed.width()).arg(needed.height())));
    }
    QVERIFY(window->TabStrip1->tabRect(3).right() <= window->TabStrip1->width());
    QVERIFY(window->Frames[0]->geometry().top() >= window->TabStrip1->geometry().bottom());
    window.reset();
    QApplication::setFont(original);
}

void TestFrmMain::frameIsFixedAndCannotBeClosed()
{
    ProgramState state;
    FrmMain window(state);
    SuppressCloseCommand(&window);
    window.show();
    QVERIFY(!(window.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    // A close request from outside (the frame, the window manager) is refused...
    QCloseEvent fromOutside;
    QSpontaneKeyEvent::setSpontaneous(&fromOutside);
    qApp->notify(&window, &fromOutside);
    QVERIFY(!fromOutside.isAccepted() && window.isVisible());
    // ...but Qt's own close at quit goes through, so the program can end.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QTimer stuck;
    stuck.callOnTimeout(qApp, [] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(qApp->exec(), 0);
}

void TestFrmMain::menusFollowCurrentIPAndVisibility()
{
    ProgramState state;
    FrmMain window(state);
    emit window.mnuMain_File->aboutToShow();
    emit window.mnuTray->aboutToShow();
    QVERIFY(!window.mnuMain_File_CopyIP->isEnabled() && !window.mnuCopyIP->isEnabled());
    QCOMPARE(window.mnuShow->text(), QStringLiteral("Show"));
    window.mnuShow->trigger();
    QVERIFY(window.isVisible());

    state.CurrentIP = QStringLiteral("192.0.2.1, 198.51.100.2");
    emit window.mnuMain_File->aboutToShow();
    emit window.mnuTray->aboutToShow();
    QVERIFY(window.mnuMain_File_CopyIP->isEnabled() && window.mnuCopyIP->isEnabled());
    QCOMPARE(window.mnuShow->text(), QStringLiteral("Hide"));
    window.mnuCopyIP->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), state.CurrentIP);
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
    QCOMPARE(asked, QStringList({"Select the Source File..", AddBackslash(ProgramDirectory()), "All Files (*)"}));
    QCOMPARE(window.txtSourceFilepath->text(), answer);
    answer.clear();  // cancelled: the path stays
    window.cmdBrowse->click();
    QCOMPARE(window.txtSourceFilepath->text(), QStringLiteral("/srv/templates/my page.htm"));
}

void TestFrmMain::commandsRaiseTheirSignals_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("signal");  // index into the list below
    const char* rows[][2] = {{"cmdUpdate", "0"},         {"mnuMain_File_Update", "0"}, {"mnuUpdate", "0"},
                             {"mnuMain_File_Exit", "1"}, {"mnuExit", "1"},             {"mnuMain_Help_Help", "2"},
                             {"mnuHelp", "2"},           {"mnuMain_Help_About", "3"},  {"mnuAbout", "3"}};
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QByteArray(row[1]).toInt();
}

void TestFrmMain::commandsRaiseTheirSignals()
{
    QFETCH(QString, control);
    QFETCH(int, signal);
    ProgramState state;
    FrmMain window(state);
    QSignalSpy update(&window, &FrmMain::UpdateRequested), exit(&window, &FrmMain::ExitRequested),
        help(&window, &FrmMain::HelpRequested), about(&window, &FrmMain::AboutRequested);
    if (auto* button = window.findChild<QPushButton*>(control))
        button->click();
    else
        window.findChild<QAction*>(control)->trigger();
    const QList<int> counts = {int(update.count()), int(exit.count()), int(help.count()), int(about.count())};
    for (int i = 0; i < counts.size(); ++i)
        QCOMPARE(counts[i], i == signal ? 1 : 0);
}

void TestFrmMain::intervalBoxAndSlider_data()
{
    const QString minutes = QStringLiteral("Value must be between 5 and 1440 minutes (24 hrs).");
    QTest::addColumn<QString>("typed");  // over the whole text; "\t" leaves the box
    QTest::addColumn<QList<int>>("sliderSteps");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("finalText");
    QTest::newRow("1440 digit by digit") << "1440" << QList<int>{14, 144, 1440} << QStringList() << "1440";
    QTest::newRow("lone 0") << "0" << QList<int>{5} << QStringList{"Value must be between 5 and 1440 (24 hrs)."}
                            << "5";
    QTest::newRow("letter") << "x" << QList<int>{5} << QStringList{minutes} << "5";
    QTest::newRow("above 1440") << "9999" << QList<int>{9, 99, 999, 1440} << QStringList{minutes} << "1440";
    QTest::newRow("fraction typed whole") << "15.5" << QList<int>{15, 16} << QStringList() << "15.5";
    QTest::newRow("leaving with 3") << "3\t" << QList<int>{5} << QStringList() << "5";
}

void TestFrmMain::intervalBoxAndSlider()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, sliderSteps);
    QFETCH(QStringList, messages);
    QFETCH(QString, finalText);
    ProgramState state;
    FrmMain window(state);
    QStringList shown;
    window.SetInformationBox([&](const QString& text, const std::function<void()>& acknowledged) {
        shown.append(text);
        acknowledged();
    });
    window.Slider1->setValue(60);
    QCOMPARE(window.txtUpdInt->text(), "60");  // the slider rule
    window.show();
    window.txtUpdInt->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.txtUpdInt->selectAll();
    QList<int> steps;
    connect(window.Slider1, &QSlider::valueChanged, this, [&](int value) {
        if (steps.isEmpty() || steps.last() != value)
            steps.append(value);
    });
    QTest::keyClicks(window.txtUpdInt, typed);
    QCOMPARE(shown, messages);
    QCOMPARE(window.txtUpdInt->text(), finalText);
    QCOMPARE(steps, sliderSteps);
}

void TestFrmMain::intervalMessageWaitsForTheUser()
{
    ProgramState state;
    auto* window = new FrmMain(state);
    window->show();
    window->Slider1->setValue(60);
    window->txtUpdInt->setText(QStringLiteral("x"));
    auto* box = window->findChild<QMessageBox*>();
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("Quendrel"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(window->txtUpdInt->text(), QStringLiteral("x"));
    QCOMPARE(window->Slider1->value(), 60);
    box->button(QMessageBox::Ok)->click();
    QCOMPARE(window->txtUpdInt->text(), QStringLiteral("5"));
    QCOMPARE(window->Slider1->value(), 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window->findChild<QMessageBox*>());

    // The window may go (Exit from the tray) while a message is up.
    window->txtUpdInt->setText(QStringLiteral("0"));
    QVERIFY(window->findChild<QMessageBox*>());
    delete window;
}

QTEST_MAIN(TestFrmMain)
#include "test_frm_main.moc"
