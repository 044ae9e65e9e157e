#include "update/tls_options.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

#include "update/curl_handle.h"
#include "update/server_key.h"
#include "update/update_log.h"

namespace quendrel {

namespace {

// Where a TLS context keeps the sighting it reports to.
int SightingIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString PublicKeyFingerprint(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0)
        return QString();
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owner(der, [](unsigned char* p) { OPENSSL_free(p); });
    return FingerprintOf(QByteArray(reinterpret_cast<const char*>(der), length));
}

// OpenSSL's verdict stands; the server's own certificate (the chain's
// first) is only noted on the way.
int NoteServerKey(int verdict, X509_STORE_CTX* store)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* sighting = ssl ? static_cast<TlsSighting*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), SightingIndex())) : nullptr;
    if (X509* own = X509_STORE_CTX_get0_cert(store); sighting && own)
        sighting->offeredKey = PublicKeyFingerprint(own);
    return verdict;
}

// Called by libcurl for each new TLS context, before its handshake.
CURLcode WatchHandshake(CURL*, void* context, void* sighting)
{
    auto* ssl = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_ex_data(ssl, SightingIndex(), sighting);
    SSL_CTX_set_verify(ssl, SSL_CTX_get_verify_mode(ssl), &NoteServerKey);
    return CURLE_OK;
}

// OpenSSL's own convention, which curl's command line follows too.
void UseCaStoreOfEnvironment(CURL* handle)
{
    if (const QByteArray file = qgetenv("SSL_CERT_FILE"); !file.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, file.constData());
    if (const QByteArray directory = qgetenv("SSL_CERT_DIR"); !directory.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAPATH, directory.constData());
}

}  // namespace

void SetTlsOptions(CurlEasy& curl, const QString& serverKey, TlsSighting& sighting)
{
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(handle, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(handle, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    // TLS 1.3 servers send session tickets on each data connection too; an
    // upload never reads them, so its socket closes with data unread and
    // sends a reset, which can overtake the page's last bytes: vsftpd 3.0.3
    // (Debian 12's, and many a host's) then answers "426 Failure reading
    // network stream". TLS 1.2 sends nothing after the handshake.
    curl_easy_setopt(handle, CURLOPT_SSLVERSION,
                     static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    UseCaStoreOfEnvironment(handle);
    const std::optional<QByteArray> pinned = ParseServerKey(serverKey);
    // A trusted key stands in for the CA and the name: it is the one key
    // accepted, self-signed or not.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, pinned ? 0L : 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    const QByteArray pin = pinned ? "sha256//" + pinned->toBase64() : QByteArray();
    curl_easy_setopt(handle, CURLOPT_PINNEDPUBLICKEY, pinned ? pin.constData() : nullptr);
    // The context is an OpenSSL one only where libcurl uses OpenSSL.
    const char* library = curl_version_info(CURLVERSION_NOW)->ssl_version;
    if (library && qstrncmp(library, "OpenSSL/", 8) == 0
        && curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, &WatchHandshake) == CURLE_OK)
        curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &sighting);
    else
        qCInfo(lcUpdate, "TLS: libcurl does not use OpenSSL here; a refused certificate's key is not shown");
}

void ExplainKeyFailure(CURLcode result, const QString& serverKey, const TlsSighting& sighting, UpdateFailure& failure)
{
    if (result != CURLE_PEER_FAILED_VERIFICATION && result != CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        return;
    const QString shown = sighting.offeredKey.isEmpty() ? QStringLiteral("unknown") : sighting.offeredKey;
    if (result == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        failure.detail += QStringLiteral("; the server's certificate key %1 is not the trusted %2: the key has "
                                         "changed, or another server answers")
                              .arg(shown, serverKey);
    else
        failure.detail += QStringLiteral("; the server's certificate key is %1: trust it only if it is the "
                                         "server's own")
                              .arg(shown);
    failure.offeredKey = sighting.offeredKey;
}

}  // namespace quendrel
