#include "settings/settings_file.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include "common/program_paths.h"
#include "common/file_io.h"
#include "settings/autostart_entry.h"
#include "settings/ini_file.h"
#include "settings/ip_web_page_list.h"
#include "settings/radix64.h"
#include "settings/settings_log.h"
#include "settings/settings_model.h"
#include "version.h"

namespace quendrel {

namespace {

const QString kSection = QStringLiteral("Settings");

QVariant ReadValue(const IniFile& file, const SettingKey& key)
{
    const QString name = QLatin1String(key.name);
    // Options added by later releases: a file from before them has none,
    // and that must not turn an option that is on by default off.
    if (key.writtenWhenUsed && file.ReadIniString(kSection, name).trimmed().isEmpty())
        return FirstRunValue(key);
    switch (key.kind) {
    case SettingKind::Check: return file.ReadIniInt(kSection, name) == 1;
    case SettingKind::Flag: return file.ReadIniInt(kSection, name) == -1;
    case SettingKind::Number: return file.ReadIniInt(kSection, name);
    case SettingKind::Password: return Radix64Decode(file.ReadIniString(kSection, name));
    case SettingKind::Text: break;
    }
    const QString text = file.ReadIniString(kSection, name);
    return text.isEmpty() && key.emptyReadsAsFirstRun ? QString::fromLatin1(key.firstRun) : text;
}

QString StoredText(const SettingKey& key, const QVariant& value)
{
    switch (key.kind) {
    case SettingKind::Check: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case SettingKind::Flag: return value.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
    case SettingKind::Number: return QString::number(value.toInt());
    case SettingKind::Password: return Radix64Encode(value.toString());
    case SettingKind::Text: break;
    }
    return value.toString();
}

}  // namespace

ProgramFiles ProgramFiles::In(const QString& directory)
{
    const QString named = AddBackslash(directory) + ExecutableName();
    return {SettingsFilePath(directory), named + QStringLiteral(".dat"), named + QStringLiteral(".strings.json"), {}};
}

ProgramFiles ProgramFiles::Chosen(const QString& folder)
{
    ProgramFiles files = In(folder);
    files.chosenFolder = folder;
    return files;
}

QString SettingsFilePath(const QString& directory)
{
    return AddBackslash(directory) + QLatin1String(kAppTitle) + QStringLiteral(".ini");
}

bool ReadSettingsFile(const QString& path, SettingsModel& model)
{
    const IniFile file = IniFile::Load(path);
    const bool present = IsVisibleRegularFile(path);
    for (const SettingKey& key : kSettingKeys) {
        if (present || key.readWithoutFile)
            model.Set(key.setting, ReadValue(file, key));
    }
    return present;
}

bool WriteSettingsFile(const QString& path, const SettingsModel& model)
{
    // A FIFO or a device in the file's place is someone's deliberate setup:
    // left alone. A regular file that cannot be read (another user's, or
    // absurdly large) is replaced, or the settings could never be saved again.
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    const QFileInfo info(path);
    if (!bytes && info.exists() && !info.isFile())
        return false;
    IniFile file = IniFile::Parse(bytes.value_or(QByteArray()));
    for (const SettingKey& key : kSettingKeys) {
        const QString name = QLatin1String(key.name);
        const QString text = StoredText(key, model.Value(key.setting));
        if (key.writtenWhenUsed && text == QLatin1String(key.firstRun) && !file.HasKey(kSection, name))
            continue;
        file.WriteIniString(kSection, name, text);
    }
    return file.Save(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

namespace {

// Nothing picked yet, nothing to store: the file appears once the user has
// picked a page from the list. One that cannot be read is kept as it is.
void LoadPageStrings(SettingsModel& model, const QString& path)
{
    if (!QFileInfo::exists(path)) {
        model.SetRememberedStrings({});
        return;
    }
    const std::optional<PageStringsMap> strings = ParsePageStrings(ReadWholeFile(path).value_or(QByteArray()));
    if (!strings)
        qCWarning(lcSettings, "%s is not a file of page strings; it is left as it is and not written",
                  qUtf8Printable(path));
    model.SetRememberedStrings(strings.value_or(PageStringsMap()), strings.has_value());
}

}  // namespace

void SyncIPWebPageList(SettingsModel& model, ListFileMode mode, const ProgramFiles& files)
{
    if (mode == ListFileMode::Load) {
        model.SetIPWebPages(LoadIPWebPageList(files.listFile));
        LoadPageStrings(model, files.pageStringsFile);
        return;
    }
    SaveIPWebPageList(files.listFile, model.Text(Setting::IPWebPage), model.IPWebPages());
    if (model.RememberedStrings().isEmpty() || !model.MayStoreRememberedStrings())
        return;
    model.RememberShownStrings();
    WriteFileIfChanged(files.pageStringsFile, FormatPageStrings(model.RememberedStrings()));
}

void LoadSettings(SettingsModel& model, const ProgramFiles& files)
{
    for (const QString& file : {files.settingsFile, files.listFile, files.pageStringsFile}) {
        for (const QString& copy : RemoveLeftoverCopies(file))
            qCInfo(lcSettings, "removed %s, left by a save that was cut short", qUtf8Printable(copy));
    }
    const bool present = ReadSettingsFile(files.settingsFile, model);
    if (!present && !model.IPWebPages().isEmpty())
        model.Set(Setting::IPWebPage, model.IPWebPages().first());
}

// One entry for each settings folder the program runs with: the program's
// own keeps the executable's name; a named folder adds a hash of its path,
// so that turning one off leaves the others alone.
QString AutostartEntryName(const ProgramFiles& files)
{
    if (files.chosenFolder.isEmpty())
        return ExecutableName();
    const QByteArray hash = QCryptographicHash::hash(files.chosenFolder.toUtf8(), QCryptographicHash::Sha256);
    return ExecutableName() + u'-' + QString::fromLatin1(hash.toHex().left(8));
}

void SaveSettings(const SettingsModel& model, const ProgramFiles& files)
{
    WriteSettingsFile(files.settingsFile, model);
    if (model.IsOn(Setting::StartWithWindows))
        WriteAutostartEntry(AutostartEntryName(files), ExecutablePath(), files.chosenFolder);
    else
        DeleteAutostartEntry(AutostartEntryName(files));
}

}  // namespace quendrel
