// The page written from a template: UTF-8, every line ended by CR LF and
// nothing else, one line for each of the template's lines plus the closing
// CR LF; a template without placeholders keeps every other character; the
// values given stand where the placeholders stood.
//
// Input: template bytes | address | date | time

#include <QFile>

#include <algorithm>

#include "common/text_codec.h"
#include "fuzz_support.h"
#include "update/page_file.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

QString Path(const char* name)
{
    return ScratchDirectory() + u'/' + QLatin1String(name);
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Broken("the scratch file can be written", {{"path", Shown(path)}});
}

QByteArray Got(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A value as the page gets it (an address, a date, a time): on one line.
QString OneLine(const QByteArray& bytes)
{
    return Text(bytes).remove(u'\r').remove(u'\n');
}

// CR LF, a lone CR and a lone LF each end a line; a last line needs none.
qsizetype TemplateLines(const QString& text)
{
    qsizetype lines = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
            ++lines;
    }
    return lines + (text.isEmpty() || text.endsWith(u'\n') || text.endsWith(u'\r') ? 0 : 1);
}

QString WithoutLineBreaks(QString text)
{
    return text.remove(u'\r').remove(u'\n');
}

void CheckPage(const QByteArray& templateBytes, const PageContent& content, const QByteArray& page)
{
    const auto report = [&](const char* promise) {
        Broken(promise, {{"template", Shown(templateBytes)}, {"address", Shown(content.address)},
                         {"date", Shown(content.dateText)}, {"time", Shown(content.timeText)}, {"page", Shown(page)}});
    };
    if (!IsValidUtf8(page))
        report("the page is UTF-8");
    if (page.count("\r\n") != page.count('\r') || page.count("\r\n") != page.count('\n'))
        report("each line of the page ends in CR LF");
    if (page.count("\r\n") != TemplateLines(DecodeLenient(templateBytes)) + 1)
        report("the page has the template's lines and a closing CR LF");
    const QString text = WithoutLineBreaks(Text(page));
    const QString original = WithoutLineBreaks(DecodeLenient(templateBytes));
    if (!original.contains(u'<') && text != original)
        report("a template without placeholders keeps its characters");
    // With values that cannot make placeholders with what stands around
    // them, each placeholder is its value and nothing else is changed. An
    // empty value can: it lets its neighbours meet ("<<IP>TIME>").
    const QString values = content.address + content.dateText + content.timeText;
    const auto canMakePlaceholder = [](QChar c) { return QStringLiteral("<>IPDATEM\x01\x02\x03").contains(c); };
    const bool anyEmpty = content.address.isEmpty() || content.dateText.isEmpty() || content.timeText.isEmpty();
    if (anyEmpty || std::any_of(values.begin(), values.end(), canMakePlaceholder) || original.contains(QChar(1))
        || original.contains(QChar(2)) || original.contains(QChar(3)))
        return;
    const QString filled = DecodeLenient(templateBytes)
                               .replace(QStringLiteral("<IP>"), QStringLiteral("\x01"))
                               .replace(QStringLiteral("<DATE>"), QStringLiteral("\x02"))
                               .replace(QStringLiteral("<TIME>"), QStringLiteral("\x03"))
                               .replace(QChar(1), content.address)
                               .replace(QChar(2), content.dateText)
                               .replace(QChar(3), content.timeText);
    if (text != WithoutLineBreaks(filled))
        report("each placeholder is replaced by its value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 4);
    PageContent content;
    content.defaultPage = false;
    content.templatePath = Path("template.htm");
    content.address = OneLine(piece[1]);
    content.dateText = OneLine(piece[2]);
    content.timeText = OneLine(piece[3]);
    Put(content.templatePath, piece[0]);
    const QString pagePath = Path("temp.htm");
    if (const std::optional<UpdateFailure> failure = CreatePageFile(content, pagePath))
        Broken("a page is made from any template", {{"failure", Shown(failure->message + QStringLiteral(": ") + failure->detail)}});
    CheckPage(piece[0], content, Got(pagePath));
    return 0;
}
