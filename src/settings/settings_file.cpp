#include "settings/settings_file.h"

#include <QFileInfo>

#include "common/program_paths.h"
#include "settings/atomic_file.h"
#include "settings/ini_file.h"
#include "settings/radix64.h"
#include "version.h"

namespace quendrel {

namespace {

const QString kSection = QStringLiteral("Settings");

void ReadServerFields(const IniFile& file, StoredSettings& s)
{
    s.Server = file.ReadIniString(kSection, QStringLiteral("Server"));
    s.Username = file.ReadIniString(kSection, QStringLiteral("Username"));
    s.Password = Radix64Decode(file.ReadIniString(kSection, QStringLiteral("Password")));
    s.RemotePath = file.ReadIniString(kSection, QStringLiteral("RemotePath"));
}

QString NonEmptyOr(const QString& value, const QString& fallback)
{
    return value.isEmpty() ? fallback : value;
}

StoredSettings ReadPresentFile(const IniFile& file)
{
    const auto text = [&file](const char* key) { return file.ReadIniString(kSection, QLatin1String(key)); };
    const auto number = [&file](const char* key) { return file.ReadIniInt(kSection, QLatin1String(key)); };
    StoredSettings s;
    s.StartWithWindows = number("StartWithWindows");
    s.CheckOnStart = number("CheckOnStart");
    s.DelayCheckOnStart = number("DelayCheckOnStart");
    s.Interval = number("Interval");
    s.WebpageType = number("WebpageType");
    s.SourceFilepath = text("SourceFilepath");
    s.DestFilename = NonEmptyOr(text("DestFilename"), QStringLiteral("ip.html"));
    ReadServerFields(file, s);
    s.Port = NonEmptyOr(text("Port"), QStringLiteral("21"));
    s.PasActFlag = number("PasActFlag");
    s.ConnectType = number("ConnectType");
    s.IPWebPage = text("IPWebPage");
    s.StartString = text("StartString");
    s.EndString = text("EndString");
    return s;
}

QString CheckState(int value)
{
    return value == 1 ? QStringLiteral("1") : QStringLiteral("0");
}

QString Flag(int value)
{
    return value == kFlagFirstSelected ? QStringLiteral("-1") : QStringLiteral("0");
}

}  // namespace

QString SettingsFilePath(const QString& directory)
{
    return AddBackslash(directory) + QLatin1String(kAppTitle) + QStringLiteral(".ini");
}

StoredSettings ReadSettingsFile(const QString& path)
{
    const IniFile file = IniFile::Load(path);
    if (IsVisibleRegularFile(path))
        return ReadPresentFile(file);
    StoredSettings firstRun;
    firstRun.FirstRun = true;
    ReadServerFields(file, firstRun);
    return firstRun;
}

bool WriteSettingsFile(const QString& path, const StoredSettings& s)
{
    // A FIFO or a device in the file's place is someone's deliberate setup:
    // left alone. A regular file that cannot be read (another user's, or
    // absurdly large) is replaced, or the settings could never be saved again.
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    const QFileInfo info(path);
    if (!bytes && info.exists() && !info.isFile())
        return false;
    IniFile file = IniFile::Parse(bytes.value_or(QByteArray()));
    const auto write = [&file](const char* key, const QString& value) {
        file.WriteIniString(kSection, QLatin1String(key), value);
    };
    write("StartWithWindows", CheckState(s.StartWithWindows));
    write("CheckOnStart", CheckState(s.CheckOnStart));
    write("DelayCheckOnStart", CheckState(s.DelayCheckOnStart));
    write("Interval", QString::number(s.Interval));
    write("WebpageType", Flag(s.WebpageType));
    write("SourceFilepath", s.SourceFilepath);
    write("DestFilename", s.DestFilename);
    write("Server", s.Server);
    write("Port", s.Port);
    write("RemotePath", s.RemotePath);
    write("Username", s.Username);
    write("Password", Radix64Encode(s.Password));
    write("PasActFlag", Flag(s.PasActFlag));
    write("ConnectType", Flag(s.ConnectType));
    write("IPWebPage", s.IPWebPage);
    write("StartString", s.StartString);
    write("EndString", s.EndString);
    return file.Save(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace quendrel
