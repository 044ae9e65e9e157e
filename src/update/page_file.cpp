#include "update/page_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/program_paths.h"
#include "settings/text_codec.h"

namespace quendrel {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// A descriptor closed with its holder.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, for the error a close can report (a delayed write).
    int Close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

struct Bytes {
    QByteArray data;
    int error = 0;
};

Bytes ReadTemplate(const QString& path)
{
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return {{}, errno};
    Bytes bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return {{}, errno};
        if (count == 0)
            return bytes;
        if (bytes.data.size() + count > kMaxTemplateBytes)
            return {{}, EFBIG};
        bytes.data.append(buffer, count);
    }
}

int WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return errno;
        written += count;
    }
    return 0;
}

// The page keeps the permissions it has; a new one may be read by all (it
// is meant for the web).
mode_t PageMode(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return 0644;
}

// Writes into a hidden temporary file beside the page and renames it over
// the page, so the page is the old one or the new one, never a part.
int ReplaceFile(const QString& path, const QByteArray& bytes)
{
    QByteArray temporaryName = QFile::encodeName(QFileInfo(path).absolutePath() + QStringLiteral("/.")
                                                 + QFileInfo(path).fileName() + QStringLiteral(".XXXXXX"));
    FileDescriptor file(::mkostemp(temporaryName.data(), O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    int error = ::fchmod(file.get(), PageMode(path)) != 0 ? errno : WriteAll(file.get(), bytes);
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    if (error == 0 && file.Close() != 0)
        error = errno;
    if (error == 0 && ::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporaryName.constData());
    return error;
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
        if (!IsVisibleRegularFile(content.templatePath))
            return UpdateFailure{update_text::kCantFindSourceFile};
        const Bytes bytes = ReadTemplate(content.templatePath);
        if (bytes.error != 0)
            return UpdateFailure::FromErrno(bytes.error);
        page = FillTemplate(DecodeLenient(bytes.data), content);
    }
    if (const int error = ReplaceFile(pagePath, (page + kLineEnd).toUtf8()); error != 0)
        return UpdateFailure::FromErrno(error);
    return std::nullopt;
}

}  // namespace quendrel
