#pragma once

#include <QString>

#include <curl/curl.h>

#include "update/update_failure.h"

namespace quendrel {

class CurlEasy;

// What the TLS handshakes of one session saw: the key of the certificate
// the server showed, whether or not it verified.
struct TlsSighting {
    QString offeredKey;  // "SHA256:...", empty before a handshake
};

// FTP over TLS, both ways: control and data connections encrypted and the
// login only after the handshake (a server without TLS is left before the
// user name goes out), the session reused for the data connections. With
// serverKey, exactly that public key is accepted and nothing else;
// without it, a certificate that the CA store and the server's name verify.
// The CA store is libcurl's, or the file and directory that SSL_CERT_FILE
// and SSL_CERT_DIR name, as for OpenSSL itself. sighting must outlive the
// session's transfers.
void SetTlsOptions(CurlEasy& curl, const QString& serverKey, TlsSighting& sighting);

// A failed login told in words a user can act on, when the certificate was
// the reason: the detail says what was wrong with the key shown, and the
// key is offered for trust. Other failures are left as they are.
void ExplainKeyFailure(CURLcode result, const QString& serverKey, const TlsSighting& sighting, UpdateFailure& failure);

}  // namespace quendrel
