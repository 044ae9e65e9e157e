#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFileDevice>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

namespace quendrel {

// A settings (INI) file held in memory line by line, read and written by
// the classic INI rules: section and key names compared without case; on
// reading, blanks around a value and one pair of enclosing quotes removed;
// a write replaces the key's line in place or adds the key at the end of its
// section, and creates the section when it is missing. Every other line,
// comment and section is kept byte for byte.
class IniFile {
public:
    // A file that is missing or cannot be read is an empty one.
    static IniFile Load(const QString& path);
    static IniFile Parse(const QByteArray& bytes);

    // The value of the key's first occurrence in the section's first
    // occurrence; "" when either is missing. Values are not cut.
    QString ReadIniString(const QString& section, const QString& key) const;
    // Whether the section's first occurrence has the key.
    bool HasKey(const QString& section, const QString& key) const;
    // The value read as a number by the classic rules: optional blanks, an
    // optional sign and the leading digits; anything else reads as 0.
    // Values beyond the range of int saturate.
    int ReadIniInt(const QString& section, const QString& key) const;
    // A value that reading would change (blanks around it, enclosing
    // quotes) is written in quotes, so it reads back as it was. Line breaks
    // in the value would start new lines (and new keys), so each is written
    // as a blank.
    void WriteIniString(const QString& section, const QString& key, const QString& value);

    QByteArray Serialize() const;
    // Whole or not at all, and not at all when the file already holds these
    // bytes (see WriteFileIfChanged); a symbolic link is written through to
    // its target. False when it could not be written.
    bool Save(const QString& path, std::optional<QFileDevice::Permissions> permissions = std::nullopt) const;

private:
    struct Line {
        QByteArray text;     // without its line end
        QByteArray ending;   // "\r\n", "\n"; for the last line also "\r" or ""
    };
    std::vector<Line> lines_;

    // The lines of one occurrence of a section.
    struct SectionSpan {
        std::size_t header;  // its "[name]" line
        std::size_t end;     // the next section's header, or the number of lines
    };

    QByteArrayView MatchableText(std::size_t index) const;
    std::optional<SectionSpan> FindSection(const QString& section) const;
    std::size_t NextSectionHeader(std::size_t from) const;
    std::optional<std::size_t> FindKey(const SectionSpan& span, const QString& key) const;
    std::size_t EndOfContent(const SectionSpan& span) const;
    QByteArray NewLineEnding() const;
    void InsertLine(std::size_t index, QByteArray text);
};

}  // namespace quendrel
