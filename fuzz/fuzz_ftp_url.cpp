// The FTP URL of the remote directory: as libcurl reads it back, its host is
// the server given (the same address for an IP address, the same zone), its
// port the port given, its path the remote directory as one piece, and it
// carries no user, password, query or fragment; a host name, an IPv4
// address or an IPv6 address with a valid port always gives one, and a port
// outside 1 to 65535 never does.
//
// Input: server | remote directory | port bits

#include <arpa/inet.h>

#include <algorithm>

#include <cstring>
#include <memory>

#include <curl/curl.h>

#include "fuzz_support.h"
#include "update/ftp_upload.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

using Url = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

std::optional<std::string> Part(CURLU* url, CURLUPart part)
{
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK)
        return std::nullopt;
    std::string value(text);
    curl_free(text);
    return value;
}

std::optional<QByteArray> Address(int family, const QByteArray& text)
{
    QByteArray address(sizeof(in6_addr), '\0');
    if (inet_pton(family, text.constData(), address.data()) != 1 || text.contains('\0'))
        return std::nullopt;
    return address;
}

// What a server text names: an IPv6 address (brackets and zone aside), an
// IPv4 address in any form inet_aton takes ("127.1" is 127.0.0.1), or the
// host name as it is.
struct Named {
    QByteArray host;
    QByteArray zone;
    std::optional<QByteArray> address;
};

Named NamedBy(const QByteArray& server)
{
    QByteArray host = server;
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.sliced(1, host.size() - 2);
    QByteArray zone;
    if (const qsizetype percent = host.indexOf('%'); percent >= 0 && host.contains(':')) {
        zone = host.sliced(percent + 1);
        host.truncate(percent);
    }
    if (auto six = Address(AF_INET6, host))
        return {host, zone, six};
    in_addr four{};
    if (!host.contains('\0') && inet_aton(host.constData(), &four) != 0)
        return {host, zone, QByteArray(reinterpret_cast<const char*>(&four), sizeof four)};
    return {host, zone, std::nullopt};
}

// A label the resolver could read as part of an IPv4 address: decimal, or
// hexadecimal after "0x".
bool IsNumber(const QByteArray& label)
{
    const bool hex = label.startsWith("0x") || label.startsWith("0X");
    const QByteArray digits = hex ? label.sliced(2) : label;
    return std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    });
}

// Letters, digits and inner hyphens in labels of up to 63, at most 253 in
// all; the last label no number, or "1.2.3" would pass for a name.
bool IsHostName(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 253)
        return false;
    const QList<QByteArray> labels = text.split('.');
    if (IsNumber(labels.last()))
        return false;
    for (const QByteArray& label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        for (const char c : label) {
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
        }
    }
    return true;
}

bool IsAddress(const QByteArray& server)
{
    const QByteArray bare = server.startsWith('[') && server.endsWith(']') ? server.sliced(1, server.size() - 2) : server;
    return Address(AF_INET6, bare) || (!server.startsWith('[') && Address(AF_INET, bare));
}

void CheckUrl(const QString& server, int port, const QString& remotePath, const std::string& text)
{
    const auto report = [&](const char* promise, const std::string& read) {
        Broken(promise, {{"server", Shown(server)}, {"port", std::to_string(port)},
                         {"remote directory", Shown(remotePath)}, {"url", Shown(QByteArray::fromStdString(text))},
                         {"read back", read}});
    };
    const Url url(curl_url(), &curl_url_cleanup);
    // As the upload reads it: "." and ".." are directories, not steps to fold away.
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK)
        report("libcurl reads the URL back", "");
    const Named given = NamedBy(server.toUtf8());
    const std::optional<std::string> host = Part(url.get(), CURLUPART_HOST);
    const Named read = NamedBy(QByteArray::fromStdString(host.value_or("")));
    const QByteArray zone = QByteArray::fromStdString(Part(url.get(), CURLUPART_ZONEID).value_or(""));
    const bool sameHost = given.address ? given.address == read.address && given.zone == zone
                                        : given.host == read.host && zone.isEmpty();
    if (!sameHost)
        report("the URL's host is the server given", host.value_or("none") + " zone " + zone.toStdString());
    if (Part(url.get(), CURLUPART_PORT) != std::to_string(port))
        report("the URL's port is the port given", Part(url.get(), CURLUPART_PORT).value_or("none"));
    for (const CURLUPart part : {CURLUPART_USER, CURLUPART_PASSWORD, CURLUPART_OPTIONS, CURLUPART_QUERY,
                                 CURLUPART_FRAGMENT}) {
        if (const std::optional<std::string> extra = Part(url.get(), part))
            report("the URL carries no user, password, options, query or fragment", *extra);
    }
    const QByteArray path = QByteArray::fromStdString(Part(url.get(), CURLUPART_PATH).value_or(""));
    const QByteArray expected = remotePath.isEmpty() ? "/" : '/' + remotePath.toUtf8() + '/';
    if (QByteArray::fromPercentEncoding(path) != expected || path.count('/') != (remotePath.isEmpty() ? 1 : 2))
        report("the URL's path is the remote directory as one piece", path.toStdString());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 3);
    const QString server = Text(piece[0]);
    const QString remotePath = Text(piece[1]);
    std::int32_t bits = 0;
    std::memcpy(&bits, piece[2].leftJustified(sizeof bits, '\0').constData(), sizeof bits);
    // Mostly ports, sometimes a number no port can be.
    const int port = (bits & 1) != 0 ? bits >> 1 : 1 + static_cast<int>((static_cast<std::uint32_t>(bits) >> 1) % 65535);
    const std::optional<std::string> url = FtpDirectoryUrl(server, port, remotePath);
    const bool validPort = port >= 1 && port <= 65535;
    if (url && !validPort)
        Broken("no URL for a port outside 1 to 65535", {{"port", std::to_string(port)}, {"url", *url}});
    if (url)
        CheckUrl(server, port, remotePath, *url);
    else if (validPort && (IsHostName(piece[0]) || IsAddress(piece[0])))
        Broken("a host name or an IP address with a valid port gives a URL",
               {{"server", Shown(server)}, {"port", std::to_string(port)}, {"remote directory", Shown(remotePath)}});
    return 0;
}
