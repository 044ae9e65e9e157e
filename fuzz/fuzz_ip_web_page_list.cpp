// The list file of IP web pages: every field read is non-empty and on one
// line, a list read from any file reads the same after it is saved, and the
// entries saved are read back (the combo box's text first when it is not
// one of them, line breaks as blanks, empty ones left out).
//
// Input: file bytes | combo box text | entries, one piece each

#include "fuzz_support.h"
#include "settings/ip_web_page_list.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

constexpr std::size_t kMaxEntries = 8;

// A double quote ends a quoted field: no entry that holds one can be saved
// in this format, and a URL never holds one unescaped.
QString Entry(const QByteArray& piece)
{
    return Text(piece).remove(u'"');
}

QString WithoutLineBreaks(QString text)
{
    return text.replace(u'\r', u' ').replace(u'\n', u' ');
}

void CheckFields(const QStringList& fields, const QByteArray& bytes)
{
    for (const QString& field : fields) {
        if (field.isEmpty() || field.contains(u'\r') || field.contains(u'\n'))
            Broken("each field read is non-empty and on one line", {{"file", Shown(bytes)}, {"field", Shown(field)}});
    }
}

void CheckSavedListReadsTheSame(const QStringList& fields, const QByteArray& bytes)
{
    for (const QString& field : fields) {
        if (field.contains(u'"'))
            return;
    }
    const QByteArray saved = FormatIPWebPageList(fields.value(0), fields);
    const QStringList reread = ParseIPWebPageList(saved);
    if (reread != fields)
        Broken("a list read from a file reads the same after a save",
               {{"file", Shown(bytes)}, {"read", Shown(fields)}, {"saved", Shown(saved)}, {"read again", Shown(reread)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 2 + kMaxEntries);
    const QStringList fields = ParseIPWebPageList(piece[0]);
    CheckFields(fields, piece[0]);
    CheckSavedListReadsTheSame(fields, piece[0]);

    const QString combo = Entry(piece[1]);
    QStringList entries;
    for (std::size_t i = 2; i < std::min(piece.size(), PieceCount(data, size)); ++i)
        entries.append(Entry(piece[i]));
    QStringList expected;
    for (const QString& entry : entries.contains(combo) ? entries : QStringList{combo} + entries) {
        if (!entry.isEmpty())
            expected.append(WithoutLineBreaks(entry));
    }
    const QByteArray saved = FormatIPWebPageList(combo, entries);
    const QStringList read = ParseIPWebPageList(saved);
    if (read != expected)
        Broken("the entries saved are read back",
               {{"combo", Shown(combo)}, {"entries", Shown(entries)}, {"saved", Shown(saved)}, {"read", Shown(read)}});
    return 0;
}
