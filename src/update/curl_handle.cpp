#include "update/curl_handle.h"

#include <mutex>

namespace quendrel {

namespace {

void EnsureGlobalInit()
{
    // Once per process, before the first handle; libcurl's own cleanup at
    // exit is left to the system.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int StopWhenAsked(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

}  // namespace

CurlEasy::CurlEasy()
    : handle_((EnsureGlobalInit(), curl_easy_init()))
{
}

CurlEasy::~CurlEasy()
{
    if (handle_)
        curl_easy_cleanup(handle_);
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

CurlStringList::~CurlStringList()
{
    curl_slist_free_all(list_);
}

bool CurlStringList::Append(const char* text)
{
    curl_slist* longer = curl_slist_append(list_, text);
    if (!longer)
        return false;
    list_ = longer;
    return true;
}

}  // namespace quendrel
