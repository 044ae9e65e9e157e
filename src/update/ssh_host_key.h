#pragma once

#include <QString>

#include <curl/curl.h>

#include "update/update_failure.h"

namespace quendrel {

class CurlEasy;

// The host key check of an SFTP session and what it saw.
struct HostKeyCheck {
    // "SHA256:..." to accept that key only; empty: ~/.ssh/known_hosts decides.
    QString trustedKey;
    // Filled when the key was refused: its fingerprint and why.
    QString offeredKey = {};
    QString refusal = {};
};

// Reads ~/.ssh/known_hosts (never writes it) and asks check about every
// host key the session meets; check must outlive the session's transfers.
void SetHostKeyCheck(CurlEasy& curl, HostKeyCheck& check);

// A login that failed on the host key: the refusal in the detail and the
// key offered for trust. Other failures are left as they are.
void ExplainHostKeyFailure(CURLcode result, const HostKeyCheck& check, UpdateFailure& failure);

}  // namespace quendrel
