#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace quendrel {

// The rules the stored text files (settings, list) share.

// Only spaces and tabs are blanks: QString::trimmed() would also take form
// feeds and the like, which the stored values keep.
constexpr bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// CR and LF each end a line, whichever way they are combined.
constexpr bool IsLineBreak(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

constexpr char16_t CodeOf(char byte)
{
    return static_cast<unsigned char>(byte);
}

constexpr char16_t CodeOf(QChar c)
{
    return c.unicode();
}

// For QByteArrayView and QStringView alike.
template <typename View>
View TrimLeadingBlanks(View text)
{
    while (!text.isEmpty() && IsBlank(CodeOf(text.front())))
        text = text.sliced(1);
    return text;
}

template <typename View>
View TrimTrailingBlanks(View text)
{
    while (!text.isEmpty() && IsBlank(CodeOf(text.back())))
        text.chop(1);
    return text;
}

template <typename View>
View TrimBlanks(View text)
{
    return TrimTrailingBlanks(TrimLeadingBlanks(text));
}

// A line break inside a name, value or entry would start a line (and a key
// or an entry) of its own: each is written as a blank.
inline QString AsOneLine(QString text)
{
    for (QChar& c : text) {
        if (IsLineBreak(CodeOf(c)))
            c = u' ';
    }
    return text;
}

}  // namespace quendrel
