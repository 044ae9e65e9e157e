#include "update/curl_handle.h"

#include <QLoggingCategory>

namespace quendrel {

namespace {

Q_LOGGING_CATEGORY(lcTransfer, "quendrel.update")

int StopWhenAsked(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

}  // namespace

void SetCurlConversationLogging(bool)
{
    // Placeholder until the conversation is logged.
}

CurlGlobal::CurlGlobal()
{
    if (const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT); result != CURLE_OK)
        qCWarning(lcTransfer, "libcurl could not be set up: %s", curl_easy_strerror(result));
}

CurlGlobal::~CurlGlobal()
{
    curl_global_cleanup();
}

CurlEasy::CurlEasy()
    : handle_(curl_easy_init())
{
    if (handle_)
        curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_);
}

CurlEasy::~CurlEasy()
{
    if (handle_)
        curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
}

void CurlEasy::ApplyLimits(const std::stop_token& stop)
{
    stop_ = stop;
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, kNoProgressSeconds);
    curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &StopWhenAsked);
    curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, &stop_);
    // A cancelled name lookup is not waited for when the handle goes.
    curl_easy_setopt(handle_, CURLOPT_QUICK_EXIT, 1L);
}

bool CurlEasy::AddHeader(const char* line)
{
    curl_slist* longer = curl_slist_append(headers_, line);
    if (!longer)
        return false;
    headers_ = longer;
    curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headers_);
    return true;
}

CURLcode CurlEasy::Perform(const char* step)
{
    error_[0] = '\0';
    const CURLcode result = curl_easy_perform(handle_);
    // libcurl's error text names hosts, ports and paths, never a user name
    // or password (not even one written into the URL).
    if (result != CURLE_OK)
        qCInfo(lcTransfer, "%s: %s", step, error_[0] ? error_ : curl_easy_strerror(result));
    return result;
}

}  // namespace quendrel
