#include "ui/settings_binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include "common/program_paths.h"
#include "settings/autostart_entry.h"
#include "settings/ip_web_page_list.h"
#include "settings/settings_file.h"
#include "ui/frm_main.h"

namespace quendrel {

namespace {

QStringList ListEntries(const QComboBox& combo)
{
    QStringList entries;
    entries.reserve(combo.count());
    for (int i = 0; i < combo.count(); ++i)
        entries.append(combo.itemText(i));
    return entries;
}

// Assigning a value runs the control's own rules, as a user's change would.
void SetCheck(QCheckBox* box, int value)
{
    box->setChecked(value == 1);
}

int CheckValue(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

int SelectFlag(std::array<QRadioButton*, 2>& pair, int flag)
{
    const int index = flag == kFlagFirstSelected ? 0 : 1;
    pair[index]->setChecked(true);
    return index;
}

int FlagOf(const std::array<QRadioButton*, 2>& pair)
{
    return pair[0]->isChecked() ? kFlagFirstSelected : 0;
}

void ShowIPWebPage(QComboBox* combo, const StoredSettings& s)
{
    if (!s.FirstRun)
        combo->setEditText(s.IPWebPage);
    else if (combo->count() > 0)
        combo->setCurrentIndex(0);  // which also makes it the text
}

}  // namespace

ProgramFiles ProgramFiles::In(const QString& directory)
{
    return {SettingsFilePath(directory), AddBackslash(directory) + ExecutableName() + QStringLiteral(".dat")};
}

void SyncIPWebPageList(FrmMain& window, ListFileMode mode, const ProgramFiles& files)
{
    QComboBox* combo = window.cmbIPWebPage;
    if (mode == ListFileMode::Load) {
        combo->clear();
        combo->addItems(LoadIPWebPageList(files.listFile));
    } else {
        SaveIPWebPageList(files.listFile, combo->currentText(), ListEntries(*combo));
    }
}

void LoadSettings(FrmMain& w, const ProgramFiles& files)
{
    const StoredSettings s = ReadSettingsFile(files.settingsFile);
    SetCheck(w.chkStartWithWindows, s.StartWithWindows);
    SetCheck(w.chkUpdateOnStart, s.CheckOnStart);
    SetCheck(w.chkUpdateDelay, s.DelayCheckOnStart);
    // The slider keeps the value inside its range; the box shows where it went.
    w.Slider1->setValue(s.Interval);
    w.txtUpdInt->setText(QString::number(w.Slider1->value()));
    const int webpageType = SelectFlag(w.optWebpageType, s.WebpageType);
    w.txtSourceFilepath->setText(s.SourceFilepath);
    w.txtDestFilename->setText(s.DestFilename);
    w.txtServer->setText(s.Server);
    w.txtUsername->setText(s.Username);
    w.txtPassword->setText(s.Password);
    w.txtRemotePath->setText(s.RemotePath);
    w.txtPort->setText(s.Port);
    SelectFlag(w.optPasAct, s.PasActFlag);
    const int conType = SelectFlag(w.optConType, s.ConnectType);
    ShowIPWebPage(w.cmbIPWebPage, s);
    w.txtStartString->setText(s.StartString);
    w.txtEndString->setText(s.EndString);
    // Also when the selection did not change, and so raised no rule; and the
    // delay box, which a hand-edited file may have checked without the start box.
    w.optWebpageTypeClick(webpageType);
    w.optConTypeClick(conType);
    w.chkUpdateOnStartClick();
}

void SaveSettings(FrmMain& w, const ProgramFiles& files)
{
    StoredSettings s;
    s.StartWithWindows = CheckValue(w.chkStartWithWindows);
    s.CheckOnStart = CheckValue(w.chkUpdateOnStart);
    s.DelayCheckOnStart = CheckValue(w.chkUpdateDelay);
    s.Interval = w.Slider1->value();
    s.WebpageType = FlagOf(w.optWebpageType);
    s.SourceFilepath = w.txtSourceFilepath->text();
    s.DestFilename = w.txtDestFilename->text();
    s.Server = w.txtServer->text();
    s.Port = w.txtPort->text();
    s.RemotePath = w.txtRemotePath->text();
    s.Username = w.txtUsername->text();
    s.Password = w.txtPassword->text();
    s.PasActFlag = FlagOf(w.optPasAct);
    s.ConnectType = FlagOf(w.optConType);
    s.IPWebPage = w.cmbIPWebPage->currentText();
    s.StartString = w.txtStartString->text();
    s.EndString = w.txtEndString->text();
    WriteSettingsFile(files.settingsFile, s);

    if (s.StartWithWindows == 1)
        WriteAutostartEntry(ExecutableName(), ExecutablePath());
    else
        DeleteAutostartEntry(ExecutableName());
}

}  // namespace quendrel
