#include "update/transfer_protocol.h"

#include <curl/curl.h>

#include <array>

namespace quendrel {

namespace {

struct ProtocolName {
    TransferProtocol protocol;
    const char* text;
    int port;
};

constexpr std::array<ProtocolName, 4> kProtocols{{
    {TransferProtocol::Ftp, "FTP", 21},
    {TransferProtocol::FtpExplicitTls, "FTPES", 21},
    {TransferProtocol::FtpImplicitTls, "FTPS", 990},
    {TransferProtocol::Sftp, "SFTP", 22},
}};

const ProtocolName& NameOf(TransferProtocol protocol)
{
    return kProtocols[static_cast<std::size_t>(protocol)];
}

// The first release with active FTP over TLS broken, and the one that
// mended it.
constexpr unsigned int kActiveTlsBrokenFrom = 0x075700;
constexpr unsigned int kActiveTlsMendedIn = 0x080000;

}  // namespace

TransferProtocol ProtocolFromText(const QString& text)
{
    for (const ProtocolName& name : kProtocols) {
        if (text.trimmed().compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0)
            return name.protocol;
    }
    return TransferProtocol::Ftp;
}

QString ProtocolText(TransferProtocol protocol)
{
    return QLatin1String(NameOf(protocol).text);
}

int DefaultPort(TransferProtocol protocol)
{
    return NameOf(protocol).port;
}

bool UsesTls(TransferProtocol protocol)
{
    return protocol == TransferProtocol::FtpExplicitTls || protocol == TransferProtocol::FtpImplicitTls;
}

std::optional<QString> ActiveTlsUnavailable(unsigned int libcurlVersionNumber)
{
    if (libcurlVersionNumber < kActiveTlsBrokenFrom || libcurlVersionNumber >= kActiveTlsMendedIn)
        return std::nullopt;
    return QStringLiteral("libcurl %1.%2.%3 cannot make active-mode data connections over TLS (mended in libcurl "
                          "8.0.0); choose Passive")
        .arg(libcurlVersionNumber >> 16)
        .arg((libcurlVersionNumber >> 8) & 0xff)
        .arg(libcurlVersionNumber & 0xff);
}

std::optional<QString> ActiveTlsUnavailable()
{
    return ActiveTlsUnavailable(curl_version_info(CURLVERSION_NOW)->version_num);
}

}  // namespace quendrel
