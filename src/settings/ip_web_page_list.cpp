#include "settings/ip_web_page_list.h"

#include "common/file_io.h"
#include "common/text_codec.h"
#include "common/text_rules.h"

namespace quendrel {

namespace {

// LF, CR LF and a lone CR all end a line. CR LF needs no pairing, as the
// empty line between them holds no field.
QList<QByteArrayView> SplitLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (IsLineBreak(CodeOf(bytes[i]))) {
            lines.append(bytes.sliced(start, i - start));
            start = i + 1;
        }
    }
    lines.append(bytes.sliced(start));
    return lines;
}

qsizetype SkipBlanks(const QString& line, qsizetype pos)
{
    while (pos < line.size() && IsBlank(CodeOf(line[pos])))
        ++pos;
    return pos;
}

qsizetype IndexOrEnd(const QString& line, QChar c, qsizetype from)
{
    const qsizetype index = line.indexOf(c, from);
    return index < 0 ? line.size() : index;
}

// Reads the field at pos and returns the position just after it.
qsizetype ReadField(const QString& line, qsizetype pos, QString& field)
{
    if (line[pos] == u'"') {
        const qsizetype end = IndexOrEnd(line, u'"', pos + 1);
        field = line.mid(pos + 1, end - pos - 1);
        return qMin(end + 1, line.size());
    }
    const qsizetype end = IndexOrEnd(line, u',', pos);
    field = TrimTrailingBlanks(QStringView(line).sliced(pos, end - pos)).toString();
    return end;
}

void AppendFields(const QString& line, QStringList& fields)
{
    qsizetype pos = SkipBlanks(line, 0);
    while (pos < line.size()) {
        QString field;
        pos = ReadField(line, pos, field);
        if (!field.isEmpty())
            fields.append(field);
        // Whatever follows a field up to the next comma is not part of any.
        pos = SkipBlanks(line, IndexOrEnd(line, u',', pos) + 1);
    }
}

// An entry pasted into the combo box may hold line breaks.
void AppendQuotedLine(QByteArray& bytes, const QString& text)
{
    bytes += '"' + AsOneLine(text).toUtf8() + "\"\r\n";
}

}  // namespace

QStringList ParseIPWebPageList(const QByteArray& bytes)
{
    QStringList fields;
    // Decoded line by line: one file may hold lines saved in either encoding.
    for (const QByteArrayView line : SplitLines(bytes))
        AppendFields(DecodeLenient(line), fields);
    return fields;
}

QByteArray FormatIPWebPageList(const QString& comboText, const QStringList& entries)
{
    QByteArray bytes;
    if (!entries.contains(comboText, Qt::CaseSensitive))
        AppendQuotedLine(bytes, comboText);
    for (const QString& entry : entries)
        AppendQuotedLine(bytes, entry);
    return bytes;
}

QStringList LoadIPWebPageList(const QString& path)
{
    return ParseIPWebPageList(ReadWholeFile(path).value_or(QByteArray()));
}

bool SaveIPWebPageList(const QString& path, const QString& comboText, const QStringList& entries)
{
    return WriteFileIfChanged(path, FormatIPWebPageList(comboText, entries)) == 0;
}

}  // namespace quendrel
