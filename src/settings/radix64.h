#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace quendrel {

// The stored form of the FTP password: Base64 (RFC 4648, standard alphabet,
// "=" padding) of the text's UTF-8 bytes, on one line. It hides the password
// from a glance, nothing more.
QString Radix64Encode(const QString& text);
// Characters outside the alphabet are skipped; characters after the last
// full group of four are dropped. Bytes that are not valid UTF-8 are taken
// as Windows-1252 (passwords saved by earlier releases).
QString Radix64Decode(const QString& value);

// The steps of decoding, on bytes. Encoding is Qt's (QByteArray::toBase64);
// its decoder does not have the rules above.
using Radix64DecodeTable = std::array<std::int16_t, 256>;
std::array<std::uint8_t, 3> DecodeBlock(int q0, int q1, int q2, int q3);
// -1 for every code outside the alphabet, 0 to 63 for the alphabet, 64 for "=".
Radix64DecodeTable BuildDecodeTable();

QByteArray Radix64DecodeBytes(const QByteArray& value);

}  // namespace quendrel
