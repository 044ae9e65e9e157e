#pragma once

#include <curl/curl.h>

#include <stop_token>

namespace quendrel {

// One libcurl easy handle, cleaned up with its holder. Empty when libcurl
// could not make one.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    CURL* get() const { return handle_; }

    // Limits every transfer of the program has: 30 s to connect, 60 s
    // without a byte moving, no signals (it runs off the main thread), and
    // a prompt end when stop is requested.
    void ApplyLimits(const std::stop_token& stop);

private:
    CURL* handle_;
    // Read by the progress callback, which libcurl calls at least every
    // second (more often while it resolves a name).
    std::stop_token stop_;
};

// A libcurl string list (request headers), freed with its holder.
class CurlStringList {
public:
    CurlStringList() = default;
    ~CurlStringList();
    CurlStringList(const CurlStringList&) = delete;
    CurlStringList& operator=(const CurlStringList&) = delete;

    // False when libcurl is out of memory; the list is then unchanged.
    bool Append(const char* text);
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

inline constexpr long kConnectTimeoutSeconds = 30;
inline constexpr long kNoProgressSeconds = 60;

}  // namespace quendrel
