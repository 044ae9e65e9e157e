#pragma once

#include <QMainWindow>
#include <QPointer>

#include <array>

#include "ui/state_images.h"
#include "ui/twips_layout.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QStatusBar;
class QTabBar;

namespace quendrel {

class AppActions;
class ProgramState;
class SettingsModel;
struct IntervalVerdict;

// The settings window: a view of the settings model and the program state.
// Its controls are bound to the settings both ways and carry their names as
// objectName; the commands are the shared actions. It may be created and
// deleted at any time while the program runs.
class FrmMain : public QMainWindow {
    Q_OBJECT

public:
    FrmMain(SettingsModel& settings, ProgramState& state, AppActions& actions, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Show the window with the input focus.
    void ShowWithFocus();

signals:
    // Every size or window-state change, minimising included.
    void ResizeNotified();
    // The FTP Server tab's and the Advanced tab's "Test" buttons.
    void TestFtpRequested();
    void TestPageRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildFrames(QWidget* client);
    void BuildGeneralFrame(QGroupBox* frame);
    void BuildWebpageFrame(QGroupBox* frame);
    void BuildFtpFrame(QGroupBox* frame);
    void BuildAdvancedFrame(QGroupBox* frame);
    QPushButton* AddTestButton(QGroupBox* frame, const char* name, const char* tip, QRect twips);
    void AddLabel(QWidget* frame, int index, const char* text, int left, int top, int width, int height);
    QRadioButton* AddOption(QGroupBox* frame, const char* name, int index, const char* caption, QRect twips);
    void BuildStatusBar();
    void BuildMenus(AppActions& actions);
    void LayOut(QWidget* client);
    void ConnectRules();
    void RenderState();
    void ShowStatusDetail();

    // Rules run when the user (or the program) picks a tab or an option.
    void TabStrip1Click(int tabNumber);  // 1 to 4
    void optConTypeClick(bool directlyConnected);
    void optWebpageTypeClick(bool defaultPage);
    void chkUpdateOnStartClick();
    // The interval slider and box keep each other in step and in range.
    void Slider1Change();
    void txtUpdIntChange();
    void txtUpdIntLostFocus();
    void ApplyIntervalVerdict(const IntervalVerdict& verdict);
    void cmdBrowseClick();

    SettingsModel& settings_;
    ProgramState& state_;
    ImageList ImageList1;

    QTabBar* TabStrip1 = nullptr;
    std::array<QGroupBox*, 4> Frames{};  // Frame1 .. Frame4
    QCheckBox* chkUpdateOnStart = nullptr;
    QCheckBox* chkUpdateDelay = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdTestFtp = nullptr;
    QPushButton* cmdTestPage = nullptr;
    QComboBox* cmbProtocol = nullptr;
    QPushButton* cmdTrustServer = nullptr;
    QSlider* Slider1 = nullptr;
    QLineEdit* txtUpdInt = nullptr;
    QLabel* lblSourceFilepath = nullptr;
    QLineEdit* txtSourceFilepath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLabel* lblWebpageTags = nullptr;
    QComboBox* cmbIPWebPage = nullptr;
    QLineEdit* txtStartString = nullptr;
    QLineEdit* txtEndString = nullptr;
    QCheckBox* chkTryOtherPages = nullptr;
    QCheckBox* chkIncludeIPv6 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanel_ = nullptr;

    // Open without a nested event loop, and gone with the window.
    QPointer<QFileDialog> fileDialog_;
    // Set while the box's rule moves the slider, so the slider does not
    // write its value back over what is being typed ("15." stays "15.").
    bool intervalFromText_ = false;
    bool centred_ = false;
    // Every control's place in twips, applied once the font is known.
    TwipsLayout layout_;
};

}  // namespace quendrel
