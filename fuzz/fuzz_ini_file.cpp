// The INI reader and writer: a file is kept byte for byte, a written value
// reads back (line breaks as blanks), before and after the file is saved and
// read again, and a write leaves every other key and line as it was.
//
// Input: file bytes | section | key | value | other section | other key | number

#include <cstring>

#include "fuzz_support.h"
#include "settings/ini_file.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

// Names as the program's own keys are: letters, digits and a few signs
// (a "=" or "]" in a name would change what the line is).
QString Name(const QByteArray& bytes, const char* fallback)
{
    QString name;
    for (const char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
            || c == '-')
            name += QLatin1Char(c);
    }
    return name.isEmpty() ? QLatin1String(fallback) : name;
}

QString WithoutLineBreaks(QString text)
{
    return text.replace(u'\r', u' ').replace(u'\n', u' ');
}

// The file's lines, each without its line end (LF or CR LF): a last line
// that gains one is still the same line.
QList<QByteArray> Lines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].endsWith('\r'))
            lines[i].chop(1);
    }
    if (bytes.isEmpty() || bytes.endsWith('\n'))
        lines.removeLast();
    else if (lines.last().endsWith('\r'))  // a CR at the file's very end ends its last line too
        lines.last().chop(1);
    return lines;
}

// One write changes one line, or adds one key line, or adds a section and
// its key: everything before and after the change is the old file's.
void CheckOtherLinesKept(const QByteArray& before, const QByteArray& after)
{
    const QList<QByteArray> old = Lines(before);
    const QList<QByteArray> now = Lines(after);
    qsizetype prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix
           && old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    if (old.size() - prefix - suffix > 1 || now.size() - prefix - suffix > 2)
        Broken("a write keeps every other line", {{"before", Shown(before)}, {"after", Shown(after)}});
}

void CheckReads(const IniFile& file, const QString& section, const QString& key, const QString& expected,
                const char* promise, const QByteArray& bytes)
{
    const QString read = file.ReadIniString(section, key);
    if (read != expected)
        Broken(promise, {{"file", Shown(bytes)},
                         {"section", Shown(section)},
                         {"key", Shown(key)},
                         {"expected", Shown(expected)},
                         {"read", Shown(read)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 7);
    const QByteArray& original = piece[0];
    IniFile file = IniFile::Parse(original);
    if (file.Serialize() != original)
        Broken("a file read and written unchanged keeps its bytes",
               {{"file", Shown(original)}, {"written", Shown(file.Serialize())}});

    const QString section = Name(piece[1], "Settings");
    const QString key = Name(piece[2], "Server");
    const QString value = Text(piece[3]);
    const QString otherSection = Name(piece[4], "Settings");
    const QString otherKey = Name(piece[5], "Port");
    const bool sameKey = section.compare(otherSection, Qt::CaseInsensitive) == 0
                         && key.compare(otherKey, Qt::CaseInsensitive) == 0;
    const QString otherBefore = file.ReadIniString(otherSection, otherKey);

    file.WriteIniString(section, key, value);
    const QByteArray written = file.Serialize();
    const QString expected = WithoutLineBreaks(value);
    CheckReads(file, section, key, expected, "a written value reads back", written);
    if (!file.HasKey(section, key))
        Broken("a written key is there", {{"file", Shown(written)}, {"key", Shown(key)}});
    if (!sameKey)
        CheckReads(file, otherSection, otherKey, otherBefore, "a write leaves other keys alone", original);
    CheckOtherLinesKept(original, written);

    // What was read before the save is read after it.
    const IniFile reloaded = IniFile::Parse(written);
    CheckReads(reloaded, section, key, expected, "a written value reads back after a reload", written);
    if (!sameKey)
        CheckReads(reloaded, otherSection, otherKey, otherBefore, "other keys read the same after a reload", original);

    std::int32_t number = 0;
    std::memcpy(&number, piece[6].leftJustified(sizeof number, '\0').constData(), sizeof number);
    file.WriteIniString(section, key, QString::number(number));
    if (file.ReadIniInt(section, key) != number)
        Broken("a written number reads back as that number",
               {{"number", std::to_string(number)}, {"read", std::to_string(file.ReadIniInt(section, key))}});
    return 0;
}
