#include "update/page_file.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

#include <cerrno>

#include "common/file_io.h"
#include "common/program_paths.h"
#include "common/text_codec.h"

namespace quendrel {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// The page is the program's own: a link in its place is replaced, not
// followed. It keeps the mode it has; a new one may be read by all (it is
// meant for the web).
const WriteRules kPageRules{.atLink = AtLink::Replace, .mode = std::nullopt, .newFileMode = 0644};

// Why IsVisibleRegularFile refused the template, in the system's words
// where it has some.
QString WhyNoTemplate(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return SystemErrorText(errno);
    if (S_ISDIR(info.st_mode))
        return SystemErrorText(EISDIR);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("not a regular file");
    return QStringLiteral("a hidden file");
}

}  // namespace

QString DefaultPageLine(const QString& address, const QString& dateText, const QString& timeText)
{
    return QStringLiteral("<html><body><center><b>") + address + QStringLiteral("</b><br>") + dateText
           + QStringLiteral(" ") + timeText + QStringLiteral("</center></body></html>");
}

QString FillTemplate(const QString& templateText, const PageContent& content)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = templateText.split(lineEnd);
    // A last line break ends the last line; it does not start another.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QString page;
    for (const QString& line : lines)
        page += line + kLineEnd;
    page.replace(QStringLiteral("<IP>"), content.address, Qt::CaseSensitive);
    page.replace(QStringLiteral("<DATE>"), content.dateText, Qt::CaseSensitive);
    page.replace(QStringLiteral("<TIME>"), content.timeText, Qt::CaseSensitive);
    return page;
}

std::optional<UpdateFailure> CreatePageFile(const PageContent& content, const QString& pagePath)
{
    QString page;
    if (content.defaultPage) {
        page = DefaultPageLine(content.address, content.dateText, content.timeText);
    } else {
        const QString templateName = QStringLiteral("template ") + content.templatePath;
        if (!IsVisibleRegularFile(content.templatePath))
            return UpdateFailure{update_text::kCantFindSourceFile,
                                 templateName + QStringLiteral(": ") + WhyNoTemplate(content.templatePath)};
        const FileBytes file = ReadFileBounded(content.templatePath);
        if (file.error != 0)
            return UpdateFailure::FromErrno(file.error, templateName);
        page = FillTemplate(DecodeLenient(file.bytes), content);
    }
    if (const int error = WriteWholeFile(pagePath, (page + kLineEnd).toUtf8(), kPageRules); error != 0)
        return UpdateFailure::FromErrno(error, QStringLiteral("page ") + pagePath);
    return std::nullopt;
}

}  // namespace quendrel
