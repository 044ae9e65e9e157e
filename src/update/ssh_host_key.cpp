#include "update/ssh_host_key.h"

#include <QDir>

#include "update/curl_handle.h"
#include "update/server_key.h"

namespace quendrel {

namespace {

QString KeyTypeName(curl_khtype type)
{
    switch (type) {
    case CURLKHTYPE_RSA: return QStringLiteral("RSA");
    case CURLKHTYPE_DSS: return QStringLiteral("DSA");
    case CURLKHTYPE_ECDSA: return QStringLiteral("ECDSA");
    case CURLKHTYPE_ED25519: return QStringLiteral("ED25519");
    case CURLKHTYPE_UNKNOWN:
    case CURLKHTYPE_RSA1: break;
    }
    return QStringLiteral("unknown");
}

QString Refusal(curl_khmatch match, const QString& trustedKey)
{
    if (!trustedKey.isEmpty())
        return QStringLiteral("is not the trusted %1: the key has changed, or another server answers").arg(trustedKey);
    if (match == CURLKHMATCH_MISMATCH)
        return QStringLiteral("is not the one ~/.ssh/known_hosts holds for the server: the key has changed, or "
                              "another server answers");
    return QStringLiteral("is not in ~/.ssh/known_hosts: trust it only if it is the server's own");
}

// Accepts the trusted key, or one known_hosts holds; refuses every other,
// and never has libcurl add to known_hosts.
int CheckKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* data)
{
    auto* check = static_cast<HostKeyCheck*>(data);
    const QByteArray blob = found->len ? QByteArray(found->key, static_cast<qsizetype>(found->len))
                                       : QByteArray::fromBase64(QByteArray(found->key));
    const QString fingerprint = FingerprintOf(blob);
    const bool accepted = check->trustedKey.isEmpty() ? match == CURLKHMATCH_OK
                                                      : ParseServerKey(check->trustedKey) == ParseServerKey(fingerprint);
    if (accepted)
        return CURLKHSTAT_FINE;
    check->offeredKey = fingerprint;
    check->refusal = QStringLiteral("the server's %1 host key %2 %3")
                         .arg(KeyTypeName(found->keytype), fingerprint, Refusal(match, check->trustedKey));
    return CURLKHSTAT_REJECT;
}

}  // namespace

void SetHostKeyCheck(CurlEasy& curl, HostKeyCheck& check)
{
    CURL* handle = curl.get();
    // Also when the file does not exist: libcurl asks about the key only
    // with a known_hosts file named.
    const QByteArray knownHosts = QFile::encodeName(QDir::homePath() + QStringLiteral("/.ssh/known_hosts"));
    curl_easy_setopt(handle, CURLOPT_SSH_KNOWNHOSTS, knownHosts.constData());
    curl_easy_setopt(handle, CURLOPT_SSH_KEYFUNCTION, &CheckKey);
    curl_easy_setopt(handle, CURLOPT_SSH_KEYDATA, &check);
}

void ExplainHostKeyFailure(CURLcode result, const HostKeyCheck& check, UpdateFailure& failure)
{
    if (result != CURLE_PEER_FAILED_VERIFICATION || check.refusal.isEmpty())
        return;
    failure.detail += QStringLiteral("; ") + check.refusal;
    failure.offeredKey = check.offeredKey;
}

}  // namespace quendrel
