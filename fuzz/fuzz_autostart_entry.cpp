// The autostart entry: an entry that is written holds no control character
// (the Desktop Entry format allows none in a value), its Exec reads back, by
// that format's escaping, quoting and field code rules, as the executable's
// path and the settings folder; an entry for any path without control
// characters is written, and removed again.
//
// Input: executable path | settings folder

#include <QFile>

#include <algorithm>
#include <optional>

#include "fuzz_support.h"
#include "settings/autostart_entry.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

const QString kEntryName = QStringLiteral("quendrel-fuzz");

bool IsAsciiControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool HasAsciiControl(const QString& text)
{
    return std::any_of(text.begin(), text.end(), IsAsciiControl);
}

// A string value's escapes: \s, \n, \t, \r and \\. Nothing for another.
std::optional<QString> Unescaped(const QString& value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        const char16_t c = value[i].unicode();
        const char16_t plain = c == u's' ? u' ' : c == u'n' ? u'\n' : c == u't' ? u'\t' : c == u'r' ? u'\r' : c;
        if (plain == c && c != u'\\')
            return std::nullopt;
        text += QChar(plain);
    }
    return text;
}

// Exec's arguments: blanks between them; inside double quotes a backslash
// takes " ` $ or \ literally; "%%" is a percent sign and any other field
// code fails, as it would be expanded.
std::optional<QStringList> Arguments(const QString& exec)
{
    QStringList arguments;
    qsizetype i = 0;
    while (i < exec.size()) {
        if (exec[i] == u' ') {
            ++i;
            continue;
        }
        QString argument;
        const bool quoted = exec[i] == u'"';
        i += quoted ? 1 : 0;
        for (; i < exec.size() && (quoted ? exec[i] != u'"' : exec[i] != u' '); ++i) {
            if (quoted && exec[i] == u'\\') {
                if (++i == exec.size() || !QStringLiteral("\"`$\\").contains(exec[i]))
                    return std::nullopt;
            } else if (exec[i] == u'%') {
                if (++i == exec.size() || exec[i] != u'%')
                    return std::nullopt;
            }
            argument += exec[i];
        }
        if (quoted && i++ == exec.size())
            return std::nullopt;
        arguments.append(argument);
    }
    return arguments;
}

void CheckEntry(const QString& path, const QString& folder, const QByteArray& entry)
{
    const auto report = [&](const char* promise) {
        Broken(promise, {{"path", Shown(path)}, {"settings folder", Shown(folder)}, {"entry", Shown(entry)}});
    };
    QString exec;
    const QStringList lines = QString::fromUtf8(entry).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (HasAsciiControl(line))
            report("an entry written holds no control character");
        if (line.startsWith(QStringLiteral("Exec=")))
            exec = line.sliced(5);
        else if (line != QStringLiteral("[Desktop Entry]") && !line.contains(u'='))
            report("every line of the entry is its group or a key");
    }
    const std::optional<QString> command = Unescaped(exec);
    const std::optional<QStringList> arguments = command ? Arguments(*command) : std::nullopt;
    const QStringList expected =
        folder.isEmpty() ? QStringList{path} : QStringList{path, QStringLiteral("--settings"), folder};
    if (arguments != expected)
        report("Exec reads back as the path and the settings folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 2);
    const QString path = Text(piece[0]);
    const QString folder = Text(piece[1]);
    const QString entryPath = AutostartEntryPath(kEntryName);
    WriteAutostartEntry(kEntryName, path, folder);
    QFile file(entryPath);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray entry = file.readAll();
        file.close();
        CheckEntry(path, folder, entry);
    } else if (!HasAsciiControl(path) && !HasAsciiControl(folder)) {
        Broken("an entry is written for any path without control characters",
               {{"path", Shown(path)}, {"settings folder", Shown(folder)}});
    }
    DeleteAutostartEntry(kEntryName);
    if (QFile::exists(entryPath))
        Broken("the entry is removed", {{"path", Shown(path)}, {"settings folder", Shown(folder)}});
    return 0;
}
