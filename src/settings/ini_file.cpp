#include "settings/ini_file.h"

#include <QStringView>

#include <algorithm>
#include <limits>
#include <utility>

#include "common/file_io.h"
#include "common/text_codec.h"
#include "common/text_rules.h"

namespace quendrel {

namespace {

constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");
constexpr char kCrLf[] = "\r\n";

bool IsBlankLine(QByteArrayView text)
{
    return TrimLeadingBlanks(text).isEmpty();
}

bool IsAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

enum class LineKind { SectionHeader, Key, Other };

struct LineParts {
    LineKind kind = LineKind::Other;
    QByteArrayView name;  // of the section or key, without blanks around it
};

LineParts Classify(QByteArrayView text)
{
    const QByteArrayView content = TrimLeadingBlanks(text);
    if (content.startsWith('[')) {
        const QByteArrayView rest = content.sliced(1);
        const qsizetype close = rest.indexOf(']');
        return {LineKind::SectionHeader, TrimBlanks(close < 0 ? rest : rest.first(close))};
    }
    // A commented-out "key=value" must not count as the key.
    if (content.startsWith(';'))
        return {};
    const qsizetype equals = content.indexOf('=');
    if (equals < 0)
        return {};
    return {LineKind::Key, TrimBlanks(content.first(equals))};
}

// Whether a line is UTF-8 or Windows-1252 is decided for the line as a
// whole. An ASCII name reads the same either way, which spares decoding a
// long value on every lookup.
QString DecodeName(QByteArrayView name, QByteArrayView line)
{
    if (IsAscii(name))
        return QString::fromLatin1(name);
    return IsValidUtf8(line) ? QString::fromUtf8(name) : DecodeWindows1252(name);
}

bool NameMatches(const LineParts& parts, QByteArrayView line, const QString& wanted)
{
    return DecodeName(parts.name, line).compare(wanted, Qt::CaseInsensitive) == 0;
}

QString Unquote(QStringView value)
{
    const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
                        && value.back() == value.front();
    return (quoted ? value.sliced(1, value.size() - 2) : value).toString();
}

QString ValueOf(QByteArrayView keyLine)
{
    const QString decoded = DecodeLenient(keyLine);
    const QStringView value = QStringView(decoded).sliced(decoded.indexOf(u'=') + 1);
    return Unquote(TrimBlanks(value));
}

int ParseIniInt(QStringView text)
{
    text = TrimBlanks(text);
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text = text.sliced(1);
    // The magnitude stops growing one past INT_MAX, which is -INT_MIN: more
    // digits no longer change the result, and the arithmetic cannot overflow.
    constexpr qint64 kLimit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 magnitude = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        magnitude = std::min(magnitude * 10 + (c.unicode() - u'0'), kLimit);
    }
    return static_cast<int>(negative ? -magnitude : std::min(magnitude, kLimit - 1));
}

// Reading takes the blanks and one pair of quotes off a value; a value that
// would lose something that way is written inside quotes of its own, which
// are all that reading takes off. Other values are written as they stand.
QString Protected(const QString& value)
{
    return Unquote(TrimBlanks(QStringView(value))) == value ? value : u'"' + value + u'"';
}

}  // namespace

IniFile IniFile::Load(const QString& path)
{
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    return bytes ? Parse(*bytes) : IniFile();
}

IniFile IniFile::Parse(const QByteArray& bytes)
{
    IniFile file;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        if (newline < 0) {
            // A CR the file ends in is the first half of a line break, not
            // part of the value: once a line follows, it is a CR LF.
            const bool cr = bytes.endsWith('\r');
            file.lines_.push_back({bytes.sliced(start, bytes.size() - start - (cr ? 1 : 0)), cr ? "\r" : ""});
            break;
        }
        const bool crlf = newline > start && bytes[newline - 1] == '\r';
        const qsizetype textEnd = crlf ? newline - 1 : newline;
        file.lines_.push_back({bytes.sliced(start, textEnd - start), crlf ? "\r\n" : "\n"});
        start = newline + 1;
    }
    return file;
}

QString IniFile::ReadIniString(const QString& section, const QString& key) const
{
    const std::optional<SectionSpan> span = FindSection(section);
    if (!span)
        return {};
    const std::optional<std::size_t> line = FindKey(*span, key);
    return line ? ValueOf(lines_[*line].text) : QString();
}

bool IniFile::HasKey(const QString& section, const QString& key) const
{
    const std::optional<SectionSpan> span = FindSection(section);
    return span && FindKey(*span, key).has_value();
}

int IniFile::ReadIniInt(const QString& section, const QString& key) const
{
    return ParseIniInt(ReadIniString(section, key));
}

void IniFile::WriteIniString(const QString& section, const QString& key, const QString& value)
{
    QByteArray keyLine = AsOneLine(key).toUtf8() + '=' + Protected(AsOneLine(value)).toUtf8();
    const std::optional<SectionSpan> span = FindSection(section);
    if (!span) {
        InsertLine(lines_.size(), '[' + AsOneLine(section).toUtf8() + ']');
        InsertLine(lines_.size(), std::move(keyLine));
    } else if (const std::optional<std::size_t> existing = FindKey(*span, key)) {
        lines_[*existing].text = std::move(keyLine);
    } else {
        InsertLine(EndOfContent(*span), std::move(keyLine));
    }
}

QByteArray IniFile::Serialize() const
{
    qsizetype size = 0;
    for (const Line& line : lines_)
        size += line.text.size() + line.ending.size();
    QByteArray bytes;
    bytes.reserve(size);
    for (const Line& line : lines_)
        bytes.append(line.text).append(line.ending);
    return bytes;
}

bool IniFile::Save(const QString& path, std::optional<QFileDevice::Permissions> permissions) const
{
    WriteRules rules;
    if (permissions)
        rules.mode = ModeOf(*permissions);
    return WriteFileIfChanged(path, Serialize(), rules) == 0;
}

// The byte order mark tells the encoding; it is no part of the first line.
QByteArrayView IniFile::MatchableText(std::size_t index) const
{
    const QByteArrayView text = lines_[index].text;
    return index == 0 && text.startsWith(kUtf8Bom) ? text.sliced(kUtf8Bom.size()) : text;
}

std::optional<IniFile::SectionSpan> IniFile::FindSection(const QString& section) const
{
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        const QByteArrayView text = MatchableText(index);
        const LineParts parts = Classify(text);
        if (parts.kind == LineKind::SectionHeader && NameMatches(parts, text, section))
            return SectionSpan{index, NextSectionHeader(index + 1)};
    }
    return std::nullopt;
}

std::size_t IniFile::NextSectionHeader(std::size_t from) const
{
    while (from < lines_.size() && Classify(MatchableText(from)).kind != LineKind::SectionHeader)
        ++from;
    return from;
}

std::optional<std::size_t> IniFile::FindKey(const SectionSpan& span, const QString& key) const
{
    for (std::size_t index = span.header + 1; index < span.end; ++index) {
        const QByteArrayView text = MatchableText(index);
        const LineParts parts = Classify(text);
        if (parts.kind == LineKind::Key && NameMatches(parts, text, key))
            return index;
    }
    return std::nullopt;
}

// Blank lines that set the section apart from the next one stay after a
// key added to it.
std::size_t IniFile::EndOfContent(const SectionSpan& span) const
{
    std::size_t end = span.end;
    while (end > span.header + 1 && IsBlankLine(lines_[end - 1].text))
        --end;
    return end;
}

// New lines follow the file's own style; a file without any whole line
// break yet gets CR LF.
QByteArray IniFile::NewLineEnding() const
{
    for (const Line& line : lines_) {
        if (line.ending.endsWith('\n'))
            return line.ending;
    }
    return kCrLf;
}

void IniFile::InsertLine(std::size_t index, QByteArray text)
{
    const QByteArray ending = NewLineEnding();
    // Only the file's last line can lack a line end or end in a lone CR, and
    // it is no longer last.
    if (index > 0 && !lines_[index - 1].ending.endsWith('\n'))
        lines_[index - 1].ending = lines_[index - 1].ending.isEmpty() ? ending : QByteArray(kCrLf);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), ending});
}

}  // namespace quendrel
