#include "update/server_key.h"

#include <QCryptographicHash>

namespace quendrel {

namespace {

constexpr int kSha256Bytes = 32;
// 32 bytes are 43 base64 characters and one "=".
constexpr qsizetype kUnpaddedLength = 43;

}  // namespace

std::optional<QByteArray> ParseServerKey(const QString& text)
{
    const QString prefix = QStringLiteral("SHA256:");
    if (!text.startsWith(prefix))
        return std::nullopt;
    QByteArray base64 = text.mid(prefix.size()).toLatin1();
    if (base64.endsWith('='))
        base64.chop(1);
    if (base64.size() != kUnpaddedLength)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(base64 + '=', QByteArray::AbortOnBase64DecodingErrors);
    // The round trip turns away base64 with stray bits in its last character.
    if (!decoded || decoded.decoded.size() != kSha256Bytes || ServerKeyText(decoded.decoded) != prefix + base64)
        return std::nullopt;
    return decoded.decoded;
}

QString ServerKeyText(const QByteArray& sha256)
{
    return QStringLiteral("SHA256:") + QString::fromLatin1(sha256.toBase64(QByteArray::OmitTrailingEquals));
}

QString FingerprintOf(const QByteArray& keyBytes)
{
    return ServerKeyText(QCryptographicHash::hash(keyBytes, QCryptographicHash::Sha256));
}

}  // namespace quendrel
