#include "ui/frm_main.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
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
#include <QTextDocument>

#include "common/app_identity.h"
#include "common/program_paths.h"
#include "common/program_state.h"
#include "schedule/interval_rule.h"
#include "settings/settings_model.h"
#include "ui/app_actions.h"
#include "ui/server_controls.h"
#include "ui/settings_binding.h"
#include "ui/window_placement.h"
#include "version.h"

namespace quendrel {

namespace {

// Client area in twips, without the status bar.
// Two rows below the classic layout hold the address options.
constexpr int kExtraRows = 720;
constexpr int kClientWidth = 6030;
constexpr int kClientHeight = 2775 + kExtraRows;
constexpr int kStatusBarHeight = 255;
constexpr int kFrameLeft = 360, kFrameTop = 600, kFrameWidth = 5295, kFrameHeight = 1935 + kExtraRows;
constexpr int kTabLeft = 120, kTabTop = 40, kTabWidth = 5775, kTabHeight = 2655 + kExtraRows;

template <typename W>
W* Named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

}  // namespace

FrmMain::FrmMain(SettingsModel& settings, ProgramState& state, AppActions& actions, QWidget* parent)
    : QMainWindow(parent), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(MainWindowCaption());

    auto* client = Named(new QWidget(this), QStringLiteral("client"));
    setCentralWidget(client);
    BuildFrames(client);
    BuildStatusBar();
    BuildMenus(actions);
    LayOut(client);
    ConnectRules();
    connect(cmdUpdate, &QPushButton::clicked, actions.mnuUpdate, &QAction::trigger);
    connect(cmdTestFtp, &QPushButton::clicked, this, &FrmMain::TestFtpRequested);
    connect(cmdTestPage, &QPushButton::clicked, this, &FrmMain::TestPageRequested);

    BindSettings(*this, settings_);
    FollowProtocol(*cmbProtocol, *findChild<QLineEdit*>(QStringLiteral("txtPort")),
                   *findChild<QRadioButton*>(QStringLiteral("optPasAct(0)")),
                   *findChild<QRadioButton*>(QStringLiteral("optPasAct(1)")));
    OfferTrust(*cmdTrustServer, state_, settings_);
    // The selections' rules also when binding changed nothing, so the
    // dependent controls start aligned.
    optConTypeClick(settings_.IsOn(Setting::ConnectType));
    optWebpageTypeClick(settings_.IsOn(Setting::WebpageType));
    chkUpdateOnStartClick();
    txtUpdInt->setText(QString::number(Slider1->value()));

    RenderState();
    connect(&state_, &ProgramState::StatusTextSet, statusPanel_, &QLabel::setText);
    connect(&state_, &ProgramState::StatusDetailChanged, this, [this] { ShowStatusDetail(); });
    connect(&state_, &ProgramState::StateShown, this, &FrmMain::RenderState);
    connect(&state_, &ProgramState::UpdatingChanged, this, &FrmMain::RenderState);
    connect(&state_, &ProgramState::TestingChanged, this, &FrmMain::RenderState);
}

// The file chooser may still be open; it goes with the window.
FrmMain::~FrmMain()
{
    delete fileDialog_.data();
}

void FrmMain::RenderState()
{
    setWindowIcon(ImageList1.Image(state_.Image()));
    statusPanel_->setText(state_.StatusText());
    ShowStatusDetail();
    // An update and a test never run side by side.
    const bool idle = !state_.Updating() && !state_.Testing();
    cmdUpdate->setEnabled(idle);
    cmdTestFtp->setEnabled(idle);
    cmdTestPage->setEnabled(idle);
}

// A failure's detail may quote what a web page held: shown as the text it
// is, never taken for markup.
void FrmMain::ShowStatusDetail()
{
    const QString detail = state_.StatusDetail();
    StatusBar1->setToolTip(detail.isEmpty() ? QString() : Qt::convertFromPlainText(detail, Qt::WhiteSpaceNormal));
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
    auto* label = Named(new QLabel(QLatin1String(text), frame), QStringLiteral("Label(%1)").arg(index));
    layout_.add(label, left, top, width, height);
}

QRadioButton* FrmMain::AddOption(QGroupBox* frame, const char* name, int index, const char* caption, QRect twips)
{
    // One group per pair: the pairs of a frame do not exclude each other.
    auto* group = frame->findChild<QButtonGroup*>(QLatin1String(name));
    if (!group)
        group = Named(new QButtonGroup(frame), QLatin1String(name));
    auto* option = Named(new QRadioButton(QLatin1String(caption), frame),
                         QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index));
    group->addButton(option, index);
    layout_.add(option, twips.left(), twips.top(), twips.width(), twips.height());
    return option;
}

QPushButton* FrmMain::AddTestButton(QGroupBox* frame, const char* name, const char* tip, QRect twips)
{
    auto* button = Named(new QPushButton(QStringLiteral("Test"), frame), QLatin1String(name));
    button->setToolTip(QLatin1String(tip));
    layout_.add(button, twips.left(), twips.top(), twips.width(), twips.height());
    return button;
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
    check("chkStartWithWindows", 1800, 360);
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
    AddLabel(frame, 14, "Notify me:", 240, 1800, 1455, 255);
    check("chkNotify", 1800, 1800)
        ->setToolTip(QStringLiteral("A desktop notification when the published address changes, when updates start "
                                    "failing and when they work again"));
}

void FrmMain::BuildWebpageFrame(QGroupBox* frame)
{
    AddOption(frame, "optWebpageType", 0, "Use Default", QRect(240, 360, 1575, 255));
    AddOption(frame, "optWebpageType", 1, "Use Custom", QRect(1560, 360, 1575, 255));

    lblSourceFilepath = Named(new QLabel(QStringLiteral("Source Filepath:"), frame), QStringLiteral("lblSourceFilepath"));
    layout_.add(lblSourceFilepath, 240, 740, 1335, 255);
    txtSourceFilepath = Named(new QLineEdit(frame), QStringLiteral("txtSourceFilepath"));
    layout_.add(txtSourceFilepath, 1920, 720, 2775, 285);
    cmdBrowse = Named(new QPushButton(frame), QStringLiteral("cmdBrowse"));
    cmdBrowse->setIcon(QIcon(QStringLiteral(":/icons/browse-16.png")));
    cmdBrowse->setIconSize(QSize(16, 16));
    layout_.add(cmdBrowse, 4800, 720, 315, 315);
    AddLabel(frame, 11, "Destination Filename:", 240, 1100, 1575, 255);
    layout_.add(Named(new QLineEdit(frame), QStringLiteral("txtDestFilename")), 1920, 1080, 2295, 285);
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
    text("txtServer", 1440, 360, 2295);
    AddLabel(frame, 5, "Port:", 3960, 380, 375, 255);
    text("txtPort", 4440, 360, 495);
    AddLabel(frame, 1, "Username:", 240, 720, 1095, 255);
    text("txtUsername", 1440, 720, 2295);
    AddLabel(frame, 2, "Password:", 240, 1080, 1095, 255);
    QLineEdit* txtPassword = text("txtPassword", 1440, 1080, 2295);
    txtPassword->setEchoMode(QLineEdit::Password);
    // One "*" per character, whatever the style's own mask character is.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    AddLabel(frame, 6, "Remote Path:", 240, 1440, 1095, 255);
    text("txtRemotePath", 1440, 1440, 2295);
    AddOption(frame, "optPasAct", 0, "Active", QRect(3960, 840, 975, 255));
    AddOption(frame, "optPasAct", 1, "Passive", QRect(3960, 1080, 975, 255));
    cmdTestFtp = AddTestButton(frame, "cmdTestFtp",
                               "Log in with these values and change into the remote directory; nothing is uploaded",
                               QRect(3960, 1440, 975, 285));
    AddLabel(frame, 15, "Protocol:", 240, 1800, 1095, 255);
    cmbProtocol = Named(new QComboBox(frame), QStringLiteral("cmbProtocol"));
    FillProtocolChoice(*cmbProtocol);
    layout_.add(cmbProtocol, 1440, 1800, 2295, 315);
    AddLabel(frame, 16, "Server Key:", 240, 2160, 1095, 255);
    QLineEdit* txtServerKey = text("txtServerKey", 1440, 2160, 1935);
    txtServerKey->setPlaceholderText(QStringLiteral("none: CA, known_hosts"));
    txtServerKey->setToolTip(QStringLiteral("The one key to accept from the server: SHA256: and its base64 "
                                            "fingerprint. Empty: certificate authorities or ~/.ssh/known_hosts"));
    cmdTrustServer = Named(new QPushButton(QStringLiteral("Trust this server"), frame), QStringLiteral("cmdTrustServer"));
    layout_.add(cmdTrustServer, 3480, 2160, 1455, 285);
}

void FrmMain::BuildAdvancedFrame(QGroupBox* frame)
{
    AddOption(frame, "optConType", 0, "Directly Connected", QRect(240, 360, 1815, 255));
    AddOption(frame, "optConType", 1, "Behind Gateway/Router", QRect(2160, 360, 2055, 255));

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
    chkTryOtherPages = Named(new QCheckBox(QStringLiteral("Try the other pages when this one fails"), frame),
                             QStringLiteral("chkTryOtherPages"));
    chkTryOtherPages->setToolTip(QStringLiteral("When this page gives no address, ask the other pages of the list in "
                                                "turn, each with the strings remembered for it"));
    layout_.add(chkTryOtherPages, 240, 1800, 4815, 255);
    chkIncludeIPv6 = Named(new QCheckBox(QStringLiteral("Directly Connected: add global IPv6 addresses"),
                                         frame),
                           QStringLiteral("chkIncludeIPv6"));
    chkIncludeIPv6->setToolTip(QStringLiteral("After the IPv4 addresses of this computer's name, the global IPv6 "
                                              "addresses of its interfaces (not the temporary ones)"));
    layout_.add(chkIncludeIPv6, 240, 2160, 4815, 255);
    cmdTestPage = AddTestButton(frame, "cmdTestPage",
                                "Find the address as an update would, with these values; nothing is uploaded",
                                QRect(4080, 1440, 975, 285));
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

void FrmMain::BuildMenus(AppActions& actions)
{
    QMenu* file = Named(menuBar()->addMenu(QStringLiteral("File")), QStringLiteral("mnuMain_File"));
    file->addActions({actions.mnuUpdate, actions.mnuCopyIP});
    file->addSeparator()->setObjectName(QStringLiteral("mnuMain_File_Sep1"));
    file->addAction(actions.mnuExit);
    QMenu* help = Named(menuBar()->addMenu(QStringLiteral("Help")), QStringLiteral("mnuMain_Help"));
    help->addActions({actions.mnuHelp, actions.mnuAbout});
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
    connect(findChild<QRadioButton*>(QStringLiteral("optConType(0)")), &QRadioButton::toggled, this,
            &FrmMain::optConTypeClick);
    connect(findChild<QRadioButton*>(QStringLiteral("optWebpageType(0)")), &QRadioButton::toggled, this,
            &FrmMain::optWebpageTypeClick);
    connect(chkUpdateOnStart, &QCheckBox::toggled, this, [this] { chkUpdateOnStartClick(); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1Change(); });
    connect(txtUpdInt, &QLineEdit::textChanged, this, [this] { txtUpdIntChange(); });
    txtUpdInt->installEventFilter(this);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowseClick(); });
}

void FrmMain::TabStrip1Click(int tabNumber)
{
    if (tabNumber < 1 || tabNumber > 4)
        return;
    for (int i = 0; i < 4; ++i)
        Frames[i]->setVisible(i + 1 == tabNumber);
}

void FrmMain::optConTypeClick(bool directlyConnected)
{
    cmbIPWebPage->setEnabled(!directlyConnected);
    txtStartString->setEnabled(!directlyConnected);
    txtEndString->setEnabled(!directlyConnected);
    chkTryOtherPages->setEnabled(!directlyConnected);
    chkIncludeIPv6->setEnabled(directlyConnected);
}

void FrmMain::optWebpageTypeClick(bool defaultPage)
{
    lblSourceFilepath->setEnabled(!defaultPage);
    txtSourceFilepath->setEnabled(!defaultPage);
    cmdBrowse->setEnabled(!defaultPage);
    lblWebpageTags->setEnabled(!defaultPage);
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
    // The box and slider are set once the user has read the message. The
    // box is window-modal without a nested event loop: the window may be
    // deleted (Exit from the tray) while it is up, and takes the box along.
    if (!verdict.message.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Information, QLatin1String(kAppTitle), verdict.message,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QDialog::finished, this, [this, verdict] {
            ApplyIntervalVerdict({QString(), verdict.replacementText, verdict.sliderValue});
        });
        box->open();
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
    if (fileDialog_ && fileDialog_->isVisible()) {
        fileDialog_->raise();
        fileDialog_->activateWindow();
        return;
    }
    delete fileDialog_.data();  // one that was answered and not yet deleted
    // No owner: the chooser stands on its own, as the window may be hidden.
    // Opened without a nested event loop; its answer reaches the window
    // only while the window exists.
    fileDialog_ = new QFileDialog(nullptr, QStringLiteral("Select the Source File.."), AddBackslash(ProgramDirectory()),
                                  QStringLiteral("All Files (*)"));
    fileDialog_->setObjectName(QStringLiteral("dlgSourceFile"));
    fileDialog_->setFileMode(QFileDialog::ExistingFile);
    fileDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(fileDialog_, &QFileDialog::fileSelected, this, [this](const QString& chosen) {
        if (!chosen.isEmpty())
            txtSourceFilepath->setText(chosen);
    });
    fileDialog_->open();
}

void FrmMain::ShowWithFocus()
{
    show();
    raise();
    activateWindow();
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
