#pragma once

#include <QMainWindow>

#include <array>
#include <functional>

#include "common/program_state.h"
#include "ui/state_images.h"
#include "ui/twips_layout.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QStatusBar;
class QTabBar;
class QTimer;

namespace quendrel {

struct IntervalVerdict;

// Asks the user for a file: (title, start directory, filter) to the chosen
// path, or an empty text when the user cancels.
using OpenFileDialog = std::function<QString(const QString&, const QString&, const QString&)>;

// Tells the user something: an information box with one OK button, titled
// with the program's name. It must not block; acknowledged runs once the
// user has closed it (and never when the window is gone by then).
using InformationBox = std::function<void(const QString& text, std::function<void()> acknowledged)>;

// The settings window. Its controls hold the settings while the program runs;
// each carries its name as objectName. The window only raises signals for the
// commands; the program's lifecycle decides what they do.
class FrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit FrmMain(ProgramState& state, QWidget* parent = nullptr);

    // Tab strip and frames.
    QTabBar* TabStrip1 = nullptr;
    std::array<QGroupBox*, 4> Frames{};  // Frame1 .. Frame4
    std::array<QLabel*, 14> Label{};

    // "General"
    QCheckBox* chkStartWithWindows = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QCheckBox* chkUpdateOnStart = nullptr;
    QCheckBox* chkUpdateDelay = nullptr;
    QSlider* Slider1 = nullptr;
    QLineEdit* txtUpdInt = nullptr;

    // "Webpage Generation"
    std::array<QRadioButton*, 2> optWebpageType{};
    QLabel* lblSourceFilepath = nullptr;
    QLineEdit* txtSourceFilepath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* txtDestFilename = nullptr;
    QLabel* lblWebpageTags = nullptr;

    // "FTP Server"
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtRemotePath = nullptr;
    std::array<QRadioButton*, 2> optPasAct{};

    // "Advanced"
    std::array<QRadioButton*, 2> optConType{};
    QComboBox* cmbIPWebPage = nullptr;
    QLineEdit* txtStartString = nullptr;
    QLineEdit* txtEndString = nullptr;

    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    ImageList ImageList1;

    // Menu bar.
    QMenu* mnuMain_File = nullptr;
    QAction* mnuMain_File_Update = nullptr;
    QAction* mnuMain_File_CopyIP = nullptr;
    QAction* mnuMain_File_Sep1 = nullptr;
    QAction* mnuMain_File_Exit = nullptr;
    QMenu* mnuMain_Help = nullptr;
    QAction* mnuMain_Help_Help = nullptr;
    QAction* mnuMain_Help_About = nullptr;

    // The tray's pop-up menu; never on the menu bar.
    QMenu* mnuTray = nullptr;
    QAction* mnuShow = nullptr;
    QAction* mnuUpdate = nullptr;
    QAction* mnuCopyIP = nullptr;
    QAction* mnuSep1 = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuSep2 = nullptr;
    QAction* mnuExit = nullptr;

    // The one panel of the status bar.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // Rules run when the user (or the program) picks a tab or an option.
    void TabStrip1Click(int tabNumber);  // 1 to 4
    void optConTypeClick(int index);
    void optWebpageTypeClick(int index);
    void chkUpdateOnStartClick();
    // The interval slider and box keep each other in step and in range.
    void Slider1Change();
    void txtUpdIntChange();
    void txtUpdIntLostFocus();
    void cmdBrowseClick();

    // Show the window with the input focus, or hide it.
    void ShowWithFocus();
    void ToggleFromTray();

    // Refreshes the tray menu just before it opens, and runs its first item.
    void mnuTrayOpening();
    void mnuShowClick();

    // Puts CurrentIP on the clipboard, exactly as stored.
    void CopyIP();

    // Replaces the file dialog, for tests.
    void SetOpenFileDialog(OpenFileDialog dialog);
    void SetInformationBox(InformationBox box);

signals:
    void UpdateRequested();
    void ExitRequested();
    void HelpRequested();
    void AboutRequested();
    // Every size or window-state change, minimising included.
    void ResizeNotified();
    // The status panel was given a text (also the same one again).
    void StatusTextSet(const QString& text);

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
    void AddLabel(QWidget* frame, int index, const char* text, int left, int top, int width, int height);
    void BuildStatusBar();
    void BuildMenus();
    void BuildTrayMenu();
    void LayOut(QWidget* client);
    void ConnectRules();
    void RefreshCopyIP(QAction* item);
    void ApplyIntervalVerdict(const IntervalVerdict& verdict);

    ProgramState& state_;
    OpenFileDialog openFileDialog_;
    InformationBox informationBox_;
    // Set while the box's rule moves the slider, so the slider does not
    // write its value back over what is being typed ("15." stays "15.").
    bool intervalFromText_ = false;
    QLabel* statusPanel_ = nullptr;
    bool centred_ = false;
    // Every control's place in twips, applied once the font is known.
    TwipsLayout layout_;
};

}  // namespace quendrel
