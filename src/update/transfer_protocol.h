#pragma once

#include <QString>

#include <optional>

namespace quendrel {

// How the page travels to the server.
enum class TransferProtocol {
    Ftp,             // plain FTP: password and page in clear text
    FtpExplicitTls,  // FTP on the usual port, turned to TLS with AUTH TLS before the login
    FtpImplicitTls,  // FTP inside TLS from the first byte (usually port 990)
    Sftp,            // SSH's file transfer
};

// The stored names: "FTP", "FTPES", "FTPS", "SFTP", in any case (a file
// written by hand may say "sftp"). Any other text (files written by earlier
// releases have none) reads as plain FTP.
TransferProtocol ProtocolFromText(const QString& text);
QString ProtocolText(TransferProtocol protocol);

// The port an empty port box stands for: 21, 21, 990, 22.
int DefaultPort(TransferProtocol protocol);

bool UsesTls(TransferProtocol protocol);

// Why active-mode data connections over TLS cannot work with the libcurl
// this program runs with, or nothing when they can. libcurl 7.87.0 to
// 7.88.x lost the TLS layer of an accepted data connection: the transfer
// fails once the server has opened the file, which it leaves empty.
std::optional<QString> ActiveTlsUnavailable();
std::optional<QString> ActiveTlsUnavailable(unsigned int libcurlVersionNumber);

}  // namespace quendrel
