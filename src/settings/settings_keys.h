#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace quendrel {

// Every stored setting, in the order a first save writes them.
enum class Setting {
    StartWithWindows,
    CheckOnStart,
    DelayCheckOnStart,
    Interval,
    WebpageType,
    SourceFilepath,
    DestFilename,
    Server,
    Port,
    RemotePath,
    Username,
    Password,
    PasActFlag,
    ConnectType,
    IPWebPage,
    StartString,
    EndString,
    TryOtherPages,
    IncludeIPv6,
    Notify,
    Protocol,
    ServerKey,
};

// How a setting is held and stored.
enum class SettingKind {
    Check,     // a check box: bool, stored "1" or "0"
    Flag,      // an option pair: bool (its first button selected), stored "-1" or "0"
    Number,    // int, stored in decimal
    Text,      // QString, stored as it stands
    Password,  // QString, stored in Base64
};

struct SettingKey {
    Setting setting;
    const char* name;  // the key in the settings file
    SettingKind kind;
    // The value before any settings file exists, as the file would hold it.
    const char* firstRun;
    // An empty stored value reads as the first-run one.
    bool emptyReadsAsFirstRun;
    // Read from the file even when it is no visible regular file (the
    // server fields: a hidden file still gives them).
    bool readWithoutFile;
    // The objectName of the window's control; an option pair's buttons are
    // this name with "(0)" and "(1)".
    const char* control;
    // Written only once it differs from its first-run value or the file
    // already has it: files that never used the option keep their bytes.
    // Absent or empty, it reads as its first-run value.
    bool writtenWhenUsed = false;
};

// The one description of the stored settings: the reader, the writer and
// the window's binding all walk this table.
inline constexpr std::array<SettingKey, 22> kSettingKeys{{
    {Setting::StartWithWindows, "StartWithWindows", SettingKind::Check, "0", false, false, "chkStartWithWindows"},
    {Setting::CheckOnStart, "CheckOnStart", SettingKind::Check, "0", false, false, "chkUpdateOnStart"},
    {Setting::DelayCheckOnStart, "DelayCheckOnStart", SettingKind::Check, "0", false, false, "chkUpdateDelay"},
    {Setting::Interval, "Interval", SettingKind::Number, "15", false, false, "Slider1"},
    {Setting::WebpageType, "WebpageType", SettingKind::Flag, "-1", false, false, "optWebpageType"},
    {Setting::SourceFilepath, "SourceFilepath", SettingKind::Text, "", false, false, "txtSourceFilepath"},
    {Setting::DestFilename, "DestFilename", SettingKind::Text, "ip.html", true, false, "txtDestFilename"},
    {Setting::Server, "Server", SettingKind::Text, "", false, true, "txtServer"},
    {Setting::Port, "Port", SettingKind::Text, "21", true, false, "txtPort"},
    {Setting::RemotePath, "RemotePath", SettingKind::Text, "", false, true, "txtRemotePath"},
    {Setting::Username, "Username", SettingKind::Text, "", false, true, "txtUsername"},
    {Setting::Password, "Password", SettingKind::Password, "", false, true, "txtPassword"},
    {Setting::PasActFlag, "PasActFlag", SettingKind::Flag, "-1", false, false, "optPasAct"},
    {Setting::ConnectType, "ConnectType", SettingKind::Flag, "0", false, false, "optConType"},
    {Setting::IPWebPage, "IPWebPage", SettingKind::Text, "", false, false, "cmbIPWebPage"},
    {Setting::StartString, "StartString", SettingKind::Text, "<ip>", false, false, "txtStartString"},
    {Setting::EndString, "EndString", SettingKind::Text, "</ip>", false, false, "txtEndString"},
    {Setting::TryOtherPages, "TryOtherPages", SettingKind::Check, "0", false, false, "chkTryOtherPages", true},
    {Setting::IncludeIPv6, "IncludeIPv6", SettingKind::Check, "0", false, false, "chkIncludeIPv6", true},
    {Setting::Notify, "Notify", SettingKind::Check, "1", false, false, "chkNotify", true},
    // "FTP", "FTPES", "FTPS" or "SFTP"; see update/transfer_protocol.h.
    {Setting::Protocol, "Protocol", SettingKind::Text, "FTP", true, true, "cmbProtocol"},
    // The one key the server may show: "SHA256:" and the base64 of its hash.
    {Setting::ServerKey, "ServerKey", SettingKind::Text, "", false, true, "txtServerKey", true},
}};

inline constexpr std::size_t kSettingCount = kSettingKeys.size();

constexpr const SettingKey& KeyOf(Setting setting)
{
    return kSettingKeys[static_cast<std::size_t>(setting)];
}

// The interval's range, in minutes.
inline constexpr int kMinInterval = 5;
inline constexpr int kMaxInterval = 1440;

}  // namespace quendrel
