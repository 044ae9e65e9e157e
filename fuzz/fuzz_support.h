#pragma once

// What the fuzz targets share: one input cut into pieces, texts as a text box
// would hold them, a private directory, and the report of a broken promise.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace quendrel::fuzz {

// Pieces of one input are separated by this byte (ASCII's record separator),
// which keeps the seed files readable; the last piece takes the rest.
inline constexpr char kPieceSeparator = '\x1e';

inline std::vector<QByteArray> Pieces(const std::uint8_t* data, std::size_t size, std::size_t count)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<QByteArray> pieces;
    qsizetype start = 0;
    while (pieces.size() + 1 < count) {
        const qsizetype separator = input.indexOf(kPieceSeparator, start);
        if (separator < 0)
            break;
        pieces.push_back(input.sliced(start, separator - start));
        start = separator + 1;
    }
    pieces.push_back(input.sliced(std::min(start, input.size())));
    pieces.resize(count);
    return pieces;
}

// How many pieces the input holds, whatever a target takes of them.
inline std::size_t PieceCount(const std::uint8_t* data, std::size_t size)
{
    return 1 + static_cast<std::size_t>(std::count(data, data + size, static_cast<std::uint8_t>(kPieceSeparator)));
}

// A text anyone could type or paste: the bytes as UTF-8, each broken
// sequence as U+FFFD, so never a lone surrogate. Unlike QString::fromUtf8,
// a leading U+FEFF is kept: a text may begin with one.
inline QString Text(const QByteArray& bytes)
{
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom).decode(bytes);
}

// The first byte of a piece as option bits; 0 for an empty piece.
inline unsigned Bits(const QByteArray& piece)
{
    return piece.isEmpty() ? 0u : static_cast<unsigned char>(piece.front());
}

// Bytes as a C string literal would write them, for the report.
inline std::string Shown(const QByteArray& bytes)
{
    std::string shown = "\"";
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == '"' || code == '\\') {
            shown += '\\';
            shown += byte;
        } else if (code >= 0x20 && code < 0x7F) {
            shown += byte;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            shown += escaped;
        }
    }
    return shown + '"';
}

inline std::string Shown(const QString& text)
{
    return Shown(text.toUtf8());
}

inline std::string Shown(const QStringList& texts)
{
    std::string shown = "[";
    for (const QString& text : texts)
        shown += (shown.size() > 1 ? ", " : "") + Shown(text);
    return shown + ']';
}

using Values = std::initializer_list<std::pair<const char*, std::string>>;

// Names the promise and the values that broke it, then aborts, so that
// libFuzzer keeps the input as the reproducer.
[[noreturn]] inline void Broken(const char* promise, Values values)
{
    std::fprintf(stderr, "\n== Broken promise: %s\n", promise);
    for (const auto& [name, value] : values)
        std::fprintf(stderr, "   %s = %s\n", name, value.c_str());
    std::fflush(stderr);
    std::abort();
}

// Only what comes to a halt is worth printing while fuzzing; the program's
// own warnings about odd files would drown libFuzzer's output.
inline void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

inline void Quiet()
{
    qInstallMessageHandler(QuietMessages);
}

// A directory of the process's own for every file a target writes, with HOME
// and XDG_CONFIG_HOME inside it so that nothing of the user's is touched.
// On /dev/shm when TMPDIR is not set: the writes are synced, and a disk
// would make each run a hundred times slower. Removed when the process ends
// normally.
inline const QString& ScratchDirectory()
{
    static const QString path = [] {
        const bool ramDisk = qEnvironmentVariableIsEmpty("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable();
        const QString base = ramDisk ? QStringLiteral("/dev/shm") : QDir::tempPath();
        static QTemporaryDir dir(base + QStringLiteral("/quendrel-fuzz-XXXXXX"));
        if (!dir.isValid()) {
            std::fprintf(stderr, "no scratch directory under %s\n", qPrintable(base));
            std::abort();
        }
        QDir(dir.path()).mkpath(QStringLiteral("home/.config"));
        qputenv("HOME", QFile::encodeName(dir.path() + QStringLiteral("/home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/home/.config")));
        return dir.path();
    }();
    return path;
}

}  // namespace quendrel::fuzz
