#include "ui/frm_main.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>

#include "common/program_paths.h"
#include "schedule/interval_rule.h"
#include "version.h"
#include "ui/window_placement.h"

namespace quendrel {

namespace {

// Client area in twips, without the status bar.
constexpr int kClientWidth = 6030;
constexpr int kClientHeight = 2775;
constexpr int kStatusBarHeight = 255;
constexpr int kFrameLeft = 360, kFrameTop = 600, kFrameWidth = 5295, kFrameHeight = 1935;
constexpr int kTabLeft = 120, kTabTop = 40, kTabWidth = 5775, kTabHeight = 2655;

QString DefaultOpenFileDialog(const QString& title, const QString& directory, const QString& filter)
{
    // No owner: the dialog stands on its own, as the window may be hidden.
    return QFileDialog::getOpenFileName(nullptr, title, directory, filter);
}

template <typename W>
W* Named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QString Indexed(const char* name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

}  // namespace

FrmMain::FrmMain(ProgramState& state, QWidget* parent)
    : QMainWindow(parent), state_(state), openFileDialog_(DefaultOpenFileDialog)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ImageList1.Image(StateImage::Ready));

    auto* client = Named(new QWidget(this), QStringLiteral("client"));
    setCentralWidget(client);
    BuildFrames(client);
    BuildStatusBar();
    BuildMenus();
    BuildTrayMenu();

    // Window-modal but without a nested event loop: the window may be
    // unloaded (Exit from the tray) while the box is up.
    informationBox_ = [this](const QString& text, std::function<void()> acknowledged) {
        auto* box = new QMessageBox(QMessageBox::Information, QLatin1String(kAppTitle), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QDialog::finished, this, std::move(acknowledged));
        box->open();
    };

    Timer1 = Named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    LayOut(client);
    ConnectRules();

    // The initial selections' rules, so the dependent controls start aligned.
    optConTypeClick(0);
    optWebpageTypeClick(0);
    chkUpdateOnStartClick();
    RefreshCopyIP(mnuMain_File_CopyIP);
    RefreshCopyIP(mnuCopyIP);
}

void FrmMain::BuildFrames(QWidget* client)
{
    auto* panel = Named(new QFrame(client), QStringLiteral("TabStrip1Panel"));
    panel->setFrameShape(QFrame::StyledPanel);
    TabStrip1 = Named(new QTabBar(client), QStringLiteral("TabStrip1"));
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    for (const char* caption : {"General", "Webpage Generation", "FTP Server", "Advanced"})
        TabStrip1->addTab(QLatin1String(caption));

    const char* captions[] = {"General Settings", "Webpage Generation Settings", "FTP Server Settings",
                              "External IP Webpage Settings"};
    for (int i = 0; i < 4; ++i) {
        Frames[i] = Named(new QGroupBox(QLatin1String(captions[i]), client), QStringLiteral("Frame%1").arg(i + 1));
        layout_.add(Frames[i], kFrameLeft, kFrameTop, kFrameWidth, kFrameHeight);
    }
    BuildGeneralFrame(Frames[0]);
    BuildWebpageFrame(Frames[1]);
    BuildFtpFrame(Frames[2]);
    BuildAdvancedFrame(Frames[3]);
    for (int i = 1; i < 4; ++i)
        Frames[i]->setVisible(false);
}

void FrmMain::AddLabel(QWidget* frame, int index, const char* text, int left, int top, int width, int height)
{
    Label[index] = Named(new QLabel(QLatin1String(text), frame), Indexed("Label", index));
    layout_.add(Label[index], left, top, width, height);
}

// Each builder creates the frame's controls in their tab order and records
// their places in twips, relative to the frame.
void FrmMain::BuildGeneralFrame(QGroupBox* frame)
{
    auto check = [&](const char* name, int l, int t) {
        auto* box = Named(new QCheckBox(frame), QLatin1String(name));
        layout_.add(box, l, t, 375, 255);
        return box;
    };
    AddLabel(frame, 4, "Start with Windows:", 240, 360, 1455, 255);
    chkStartWithWindows = check("chkStartWithWindows", 1800, 360);
    cmdUpdate = Named(new QPushButton(QStringLiteral("Update Now!"), frame), QStringLiteral("cmdUpdate"));
    layout_.add(cmdUpdate, 3840, 360, 1215, 255);
    AddLabel(frame, 7, "Update on Start:", 240, 720, 1215, 255);
    chkUpdateOnStart = check("chkUpdateOnStart", 1800, 720);
    AddLabel(frame, 12, "-> Delay 5 Min", 360, 1080, 1215, 255);
    chkUpdateDelay = check("chkUpdateDelay", 1800, 1080);
    AddLabel(frame, 3, "Update Interval:", 240, 1440, 1215, 255);
    Slider1 = Named(new QSlider(Qt::Horizontal, frame), QStringLiteral("Slider1"));
    Slider1->setRange(5, 1440);
    layout_.add(Slider1, 1680, 1440, 1215, 255);
    txtUpdInt = Named(new QLineEdit(frame), QStringLiteral("txtUpdInt"));
    layout_.add(txtUpdInt, 2880, 1440, 495, 285);
    AddLabel(frame, 13, "Min", 3480, 1485, 375, 255);
}

void FrmMain::BuildWebpageFrame(QGroupBox* frame)
{
    auto* group = new QButtonGroup(frame);
    const char* captions[] = {"Use Default", "Use Custom"};
    const int lefts[] = {240, 1560};
    for (int i = 0; i < 2; ++i) {
        optWebpageType[i] = Named(new QRadioButton(QLatin1String(captions[i]), frame), Indexed("optWebpageType", i));
        group->addButton(optWebpageType[i], i);
        layout_.add(optWebpageType[i], lefts[i], 360, 1575, 255);
    }
    optWebpageType[0]->setChecked(true);

    lblSourceFilepath = Named(new QLabel(QStringLiteral("Source Filepath:"), frame), QStringLiteral("lblSourceFilepath"));
    layout_.add(lblSourceFilepath, 240, 740, 1335, 255);
    txtSourceFilepath = Named(new QLineEdit(frame), QStringLiteral("txtSourceFilepath"));
    layout_.add(txtSourceFilepath, 1920, 720, 2775, 285);
    cmdBrowse = Named(new QPushButton(frame), QStringLiteral("cmdBrowse"));
    cmdBrowse->setIcon(QIcon(QStringLiteral(":/icons/browse-16.png")));
    cmdBrowse->setIconSize(QSize(16, 16));
    layout_.add(cmdBrowse, 4800, 720, 315, 315);
    AddLabel(frame, 11, "Destination Filename:", 240, 1100, 1575, 255);
    txtDestFilename = Named(new QLineEdit(frame), QStringLiteral("txtDestFilename"));
    layout_.add(txtDestFilename, 1920, 1080, 2295, 285);
    lblWebpageTags = Named(new QLabel(QStringLiteral("Use <IP> for IP Address; <DATE> for Date; <TIME> for Time"), frame),
                           QStringLiteral("lblWebpageTags"));
    layout_.add(lblWebpageTags, 240, 1560, 4815, 255);
}

void FrmMain::BuildFtpFrame(QGroupBox* frame)
{
    auto text = [&](const char* name, int l, int t, int w) {
        auto* box = Named(new QLineEdit(frame), QLatin1String(name));
        layout_.add(box, l, t, w, 285);
        return box;
    };
    AddLabel(frame, 0, "FTP Server:", 240, 380, 1095, 255);
    txtServer = text("txtServer", 1440, 360, 2295);
    AddLabel(frame, 5, "Port:", 3960, 380, 375, 255);
    txtPort = text("txtPort", 4440, 360, 495);
    AddLabel(frame, 1, "Username:", 240, 720, 1095, 255);
    txtUsername = text("txtUsername", 1440, 720, 2295);
    AddLabel(frame, 2, "Password:", 240, 1080, 1095, 255);
    txtPassword = text("txtPassword", 1440, 1080, 2295);
    txtPassword->setEchoMode(QLineEdit::Password);
    // One "*" per character, whatever the style's own mask character is.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    AddLabel(frame, 6, "Remote Path:", 240, 1440, 1095, 255);
    txtRemotePath = text("txtRemotePath", 1440, 1440, 2295);

    auto* group = new QButtonGroup(frame);
    const char* captions[] = {"Active", "Passive"};
    const int tops[] = {840, 1080};
    for (int i = 0; i < 2; ++i) {
        optPasAct[i] = Named(new QRadioButton(QLatin1String(captions[i]), frame), Indexed("optPasAct", i));
        group->addButton(optPasAct[i], i);
        layout_.add(optPasAct[i], 3960, tops[i], 975, 255);
    }
    optPasAct[0]->setChecked(true);
}

void FrmMain::BuildAdvancedFrame(QGroupBox* frame)
{
    auto* group = new QButtonGroup(frame);
    const char* captions[] = {"Directly Connected", "Behind Gateway/Router"};
    const int lefts[] = {240, 2160}, widths[] = {1815, 2055};
    for (int i = 0; i < 2; ++i) {
        optConType[i] = Named(new QRadioButton(QLatin1String(captions[i]), frame), Indexed("optConType", i));
        group->addButton(optConType[i], i);
        layout_.add(optConType[i], lefts[i], 360, widths[i], 255);
    }
    optConType[0]->setChecked(true);

    AddLabel(frame, 8, "IP Webpage:", 240, 720, 1095, 255);
    cmbIPWebPage = Named(new QComboBox(frame), QStringLiteral("cmbIPWebPage"));
    cmbIPWebPage->setEditable(true);
    cmbIPWebPage->setInsertPolicy(QComboBox::NoInsert);
    layout_.add(cmbIPWebPage, 1680, 720, 3375, 315);
    AddLabel(frame, 9, "Parse Start String:", 240, 1080, 1335, 255);
    txtStartString = Named(new QLineEdit(frame), QStringLiteral("txtStartString"));
    layout_.add(txtStartString, 1680, 1080, 2295, 285);
    AddLabel(frame, 10, "Parse End String:", 240, 1440, 1335, 255);
    txtEndString = Named(new QLineEdit(frame), QStringLiteral("txtEndString"));
    layout_.add(txtEndString, 1680, 1440, 2295, 285);
}

void FrmMain::BuildStatusBar()
{
    StatusBar1 = Named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    statusPanel_ = Named(new QLabel(StatusBar1), QStringLiteral("StatusBar1Panel"));
    statusPanel_->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(statusPanel_, 1);
    setStatusBar(StatusBar1);
}

void FrmMain::BuildMenus()
{
    // Plain captions: no access keys, no shortcuts.
    mnuMain_File = Named(menuBar()->addMenu(QStringLiteral("File")), QStringLiteral("mnuMain_File"));
    mnuMain_File_Update = Named(mnuMain_File->addAction(QStringLiteral("Update")), QStringLiteral("mnuMain_File_Update"));
    mnuMain_File_CopyIP = Named(mnuMain_File->addAction(QStringLiteral("Copy IP")), QStringLiteral("mnuMain_File_CopyIP"));
    mnuMain_File_Sep1 = Named(mnuMain_File->addSeparator(), QStringLiteral("mnuMain_File_Sep1"));
    mnuMain_File_Exit = Named(mnuMain_File->addAction(QStringLiteral("Exit")), QStringLiteral("mnuMain_File_Exit"));
    mnuMain_Help = Named(menuBar()->addMenu(QStringLiteral("Help")), QStringLiteral("mnuMain_Help"));
    mnuMain_Help_Help = Named(mnuMain_Help->addAction(QStringLiteral("Help")), QStringLiteral("mnuMain_Help_Help"));
    mnuMain_Help_About = Named(mnuMain_Help->addAction(QStringLiteral("About")), QStringLiteral("mnuMain_Help_About"));
}

void FrmMain::BuildTrayMenu()
{
    mnuTray = Named(new QMenu(QStringLiteral("Tray"), this), QStringLiteral("mnuTray"));
    mnuShow = Named(mnuTray->addAction(QStringLiteral("Show")), QStringLiteral("mnuShow"));
    mnuUpdate = Named(mnuTray->addAction(QStringLiteral("Update")), QStringLiteral("mnuUpdate"));
    mnuCopyIP = Named(mnuTray->addAction(QStringLiteral("Copy IP")), QStringLiteral("mnuCopyIP"));
    mnuSep1 = Named(mnuTray->addSeparator(), QStringLiteral("mnuSep1"));
    mnuHelp = Named(mnuTray->addAction(QStringLiteral("Help")), QStringLiteral("mnuHelp"));
    mnuAbout = Named(mnuTray->addAction(QStringLiteral("About")), QStringLiteral("mnuAbout"));
    mnuSep2 = Named(mnuTray->addSeparator(), QStringLiteral("mnuSep2"));
    mnuExit = Named(mnuTray->addAction(QStringLiteral("Exit")), QStringLiteral("mnuExit"));
}

void FrmMain::LayOut(QWidget* client)
{
    // Captions such as "<IP>" must show as typed, never as markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);

    // The tabs sit inside the strip with a small inset on either side.
    layout_.requireWidth(kTabWidth, TabStrip1->sizeHint().width() + 4);
    const double scale = layout_.fittingScale();
    layout_.apply(scale);

    const QRect strip = TwipsLayout::toPixels(QRect(kTabLeft, kTabTop, kTabWidth, kTabHeight), scale);
    const int tabHeight = TabStrip1->sizeHint().height();
    TabStrip1->setGeometry(strip.left() + 2, strip.top(), strip.width() - 4, tabHeight);
    auto* panel = client->findChild<QFrame*>(QStringLiteral("TabStrip1Panel"));
    panel->setGeometry(strip.left(), strip.top() + tabHeight - 1, strip.width(), strip.height() - tabHeight + 1);
    panel->lower();

    client->setFixedSize(TwipsLayout::toPixels(kClientWidth, scale),
                         TwipsLayout::toPixels(kClientHeight, scale));
    StatusBar1->setMinimumHeight(TwipsLayout::toPixels(kStatusBarHeight, scale));
    // The frame cannot be resized: the window's size follows its contents only.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void FrmMain::ConnectRules()
{
    connect(TabStrip1, &QTabBar::currentChanged, this, [this](int index) { TabStrip1Click(index + 1); });
    for (int i = 0; i < 2; ++i) {
        connect(optConType[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optConTypeClick(i);
        });
        connect(optWebpageType[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optWebpageTypeClick(i);
        });
    }
    connect(chkUpdateOnStart, &QCheckBox::toggled, this, [this] { chkUpdateOnStartClick(); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1Change(); });
    connect(txtUpdInt, &QLineEdit::textChanged, this, [this] { txtUpdIntChange(); });
    txtUpdInt->installEventFilter(this);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowseClick(); });
    connect(cmdUpdate, &QPushButton::clicked, this, &FrmMain::UpdateRequested);

    connect(mnuMain_File, &QMenu::aboutToShow, this, [this] { RefreshCopyIP(mnuMain_File_CopyIP); });
    connect(mnuMain_File_Update, &QAction::triggered, this, &FrmMain::UpdateRequested);
    connect(mnuMain_File_CopyIP, &QAction::triggered, this, &FrmMain::CopyIP);
    connect(mnuMain_File_Exit, &QAction::triggered, this, &FrmMain::ExitRequested);
    connect(mnuMain_Help_Help, &QAction::triggered, this, &FrmMain::HelpRequested);
    connect(mnuMain_Help_About, &QAction::triggered, this, &FrmMain::AboutRequested);

    connect(mnuTray, &QMenu::aboutToShow, this, &FrmMain::mnuTrayOpening);
    connect(mnuShow, &QAction::triggered, this, &FrmMain::mnuShowClick);
    connect(mnuUpdate, &QAction::triggered, this, &FrmMain::UpdateRequested);
    connect(mnuCopyIP, &QAction::triggered, this, &FrmMain::CopyIP);
    connect(mnuHelp, &QAction::triggered, this, &FrmMain::HelpRequested);
    connect(mnuAbout, &QAction::triggered, this, &FrmMain::AboutRequested);
    connect(mnuExit, &QAction::triggered, this, &FrmMain::ExitRequested);
}

QString FrmMain::StatusText() const
{
    return statusPanel_->text();
}

void FrmMain::SetStatusText(const QString& text)
{
    statusPanel_->setText(text);
    emit StatusTextSet(text);
}

void FrmMain::TabStrip1Click(int tabNumber)
{
    if (tabNumber < 1 || tabNumber > 4)
        return;
    for (int i = 0; i < 4; ++i)
        Frames[i]->setVisible(i + 1 == tabNumber);
}

void FrmMain::optConTypeClick(int index)
{
    if (index != 0 && index != 1)
        return;
    const bool behindRouter = index == 1;
    cmbIPWebPage->setEnabled(behindRouter);
    txtStartString->setEnabled(behindRouter);
    txtEndString->setEnabled(behindRouter);
}

void FrmMain::optWebpageTypeClick(int index)
{
    if (index != 0 && index != 1)
        return;
    const bool custom = index == 1;
    lblSourceFilepath->setEnabled(custom);
    txtSourceFilepath->setEnabled(custom);
    cmdBrowse->setEnabled(custom);
    lblWebpageTags->setEnabled(custom);
}

void FrmMain::chkUpdateOnStartClick()
{
    if (chkUpdateOnStart->isChecked()) {
        chkUpdateDelay->setEnabled(true);
    } else {
        chkUpdateDelay->setChecked(false);
        chkUpdateDelay->setEnabled(false);
    }
}

void FrmMain::Slider1Change()
{
    if (!intervalFromText_)
        txtUpdInt->setText(QString::number(Slider1->value()));
}

void FrmMain::txtUpdIntChange()
{
    ApplyIntervalVerdict(IntervalTextChanged(txtUpdInt->text()));
}

void FrmMain::txtUpdIntLostFocus()
{
    ApplyIntervalVerdict(IntervalFocusLost(txtUpdInt->text()));
}

void FrmMain::ApplyIntervalVerdict(const IntervalVerdict& verdict)
{
    // The box and slider are set once the user has read the message.
    if (!verdict.message.isEmpty()) {
        informationBox_(verdict.message, [this, verdict] { ApplyIntervalVerdict({QString(), verdict.replacementText,
                                                                                 verdict.sliderValue}); });
        return;
    }
    // A replaced text runs the change rule again, in range this time.
    if (verdict.replacementText)
        txtUpdInt->setText(*verdict.replacementText);
    if (verdict.sliderValue) {
        intervalFromText_ = true;
        Slider1->setValue(*verdict.sliderValue);
        intervalFromText_ = false;
    }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The user leaves the box for another control; a pop-up menu, another
    // window or a message box taking the focus is not leaving it.
    if (watched == txtUpdInt && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            txtUpdIntLostFocus();
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::cmdBrowseClick()
{
    const QString chosen = openFileDialog_(QStringLiteral("Select the Source File.."),
                                           AddBackslash(ProgramDirectory()), QStringLiteral("All Files (*)"));
    if (!chosen.isEmpty())
        txtSourceFilepath->setText(chosen);
}

void FrmMain::SetOpenFileDialog(OpenFileDialog dialog)
{
    openFileDialog_ = std::move(dialog);
}

void FrmMain::SetInformationBox(InformationBox box)
{
    informationBox_ = std::move(box);
}

void FrmMain::ShowWithFocus()
{
    show();
    raise();
    activateWindow();
}

void FrmMain::ToggleFromTray()
{
    if (isVisible())
        hide();
    else
        ShowWithFocus();
}

void FrmMain::mnuTrayOpening()
{
    mnuShow->setText(isVisible() ? QStringLiteral("Hide") : QStringLiteral("Show"));
    RefreshCopyIP(mnuCopyIP);
}

void FrmMain::mnuShowClick()
{
    const QString caption = mnuShow->text();
    if (caption == QLatin1String("Show"))
        ShowWithFocus();
    else if (caption == QLatin1String("Hide"))
        hide();
}

void FrmMain::CopyIP()
{
    QGuiApplication::clipboard()->setText(state_.CurrentIP);
}

void FrmMain::RefreshCopyIP(QAction* item)
{
    item->setEnabled(!state_.CurrentIP.isEmpty());
}

void FrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    emit ResizeNotified();
}

void FrmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        emit ResizeNotified();
}

void FrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    CentreOnScreen(*this);
}

}  // namespace quendrel
