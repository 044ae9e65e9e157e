#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quendrel {

// A server's key as the user trusts it: "SHA256:" and the base64 of the
// SHA-256 hash of the key (a TLS certificate's public key, DER-encoded
// SubjectPublicKeyInfo; an SSH host key's blob). ssh-keygen prints the
// base64 without its "=" padding, openssl piped to base64 with it: both
// are taken.

// The 32 bytes of the hash, or nothing when the text is no such key.
std::optional<QByteArray> ParseServerKey(const QString& text);

// The hash written as ssh-keygen writes it: "SHA256:" and unpadded base64.
QString ServerKeyText(const QByteArray& sha256);

// The key's fingerprint, hashed from its bytes.
QString FingerprintOf(const QByteArray& keyBytes);

}  // namespace quendrel
