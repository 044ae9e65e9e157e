#include "settings/autostart_entry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

#include "common/file_io.h"
#include "common/program_paths.h"
#include "settings/settings_log.h"
#include "version.h"

namespace quendrel {

namespace {

// Lets this program tell its own entry from another program's of the same name.
constexpr QByteArrayView kMarkerLine = "X-Quendrel-Autostart=true";

QString AutostartDirectory()
{
    return UserConfigDirectory() + QStringLiteral("/autostart");
}

// Exec is split into arguments like a shell would: inside double quotes the
// characters a shell treats specially take a backslash, and a literal
// percent sign is doubled so it is not read as a field code.
QString QuotedExecArgument(const QString& path)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    return quoted + u'"';
}

// Every value of a desktop file is a string first: backslashes and the
// controls that would break the line are escaped on top of Exec's own quoting.
QString EscapedStringValue(const QString& value)
{
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\': escaped += QStringLiteral("\\\\"); break;
        case u'\n': escaped += QStringLiteral("\\n"); break;
        case u'\t': escaped += QStringLiteral("\\t"); break;
        case u'\r': escaped += QStringLiteral("\\r"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

// A string value may hold no ASCII control character, and only tab, line
// feed and carriage return have escapes: any other cannot be written.
std::optional<QChar> UnwritableControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if ((code < 0x20 && code != u'\t' && code != u'\n' && code != u'\r') || code == 0x7F)
            return c;
    }
    return std::nullopt;
}

bool HasMarkerLine(const QByteArray& text)
{
    const QList<QByteArray> lines = text.split('\n');
    return std::any_of(lines.begin(), lines.end(),
                       [](const QByteArray& line) { return line.trimmed() == kMarkerLine; });
}

// A dangling link counts as taken too: writing through it would create a
// file somewhere else.
bool PathIsTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The entry's text when this program wrote it; nothing when it is missing,
// unreadable or another program's.
std::optional<QByteArray> ReadOwnEntry(const QString& path)
{
    std::optional<QByteArray> text = ReadWholeFile(path);
    if (text && !HasMarkerLine(*text))
        return std::nullopt;
    return text;
}

}  // namespace

QString AutostartEntryPath(const QString& executableName)
{
    return AutostartDirectory() + u'/' + executableName + QStringLiteral(".desktop");
}

QByteArray AutostartEntryText(const QString& executablePath, const QString& settingsFolder)
{
    if (UnwritableControlCharacter(executablePath + settingsFolder))
        return {};
    QString command = QuotedExecArgument(executablePath);
    if (!settingsFolder.isEmpty())
        command += QStringLiteral(" --settings ") + QuotedExecArgument(settingsFolder);
    const QString exec = EscapedStringValue(command);
    QByteArray text =
        "[Desktop Entry]\n"
        "Type=Application\n";
    text += "Name=" + QByteArray(kAppTitle) + '\n';
    text += "Comment=Keeps a web page up to date with this computer's IP address\n";
    text += "Exec=" + exec.toUtf8() + '\n';
    text += "Terminal=false\n";
    text += kMarkerLine.toByteArray() + '\n';
    return text;
}

void WriteAutostartEntry(const QString& entryName, const QString& executablePath, const QString& settingsFolder)
{
    const QString path = AutostartEntryPath(entryName);
    if (const std::optional<QChar> control = UnwritableControlCharacter(executablePath + settingsFolder)) {
        qCWarning(lcSettings, "%s is not written: its Exec line cannot hold the control character U+%04X in the "
                  "program's or the settings folder's path", qPrintable(path), unsigned(control->unicode()));
        return;
    }
    if (!QDir().mkpath(AutostartDirectory()))
        return;
    const QByteArray text = AutostartEntryText(executablePath, settingsFolder);
    if (PathIsTaken(path)) {
        // Every settings save lands here; an unchanged entry is not rewritten.
        const std::optional<QByteArray> own = ReadOwnEntry(path);
        if (!own || *own == text)
            return;
    }
    // Never through a link, which would change a file somewhere else.
    WriteRules rules;
    rules.atLink = AtLink::Replace;
    WriteWholeFile(path, text, rules);
}

void DeleteAutostartEntry(const QString& executableName)
{
    const QString path = AutostartEntryPath(executableName);
    if (ReadOwnEntry(path))
        QFile::remove(path);
}

}  // namespace quendrel
