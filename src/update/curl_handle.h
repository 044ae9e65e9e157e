#pragma once

#include <curl/curl.h>

#include <stop_token>

namespace quendrel {

// libcurl's process-wide state, set up for as long as this object lives.
// Made once in main() before any thread starts: curl_global_init is not
// safe to run beside other threads that use libcurl.
class CurlGlobal {
public:
    CurlGlobal();
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

// One libcurl easy handle with its request headers and its error text, all
// freed with the holder. Empty when libcurl could not make a handle.
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

    // Adds a request header. False when libcurl is out of memory; the
    // headers are then unchanged.
    bool AddHeader(const char* line);

    // Runs the transfer set up on the handle. A failure goes to the log
    // (quendrel.update) as one line with libcurl's own words, under the
    // name of the step; the user sees only the step's own text.
    CURLcode Perform(const char* step);

private:
    CURL* handle_;
    curl_slist* headers_ = nullptr;
    char error_[CURL_ERROR_SIZE] = {};
    // Read by the progress callback, which libcurl calls at least every
    // second (more often while it resolves a name).
    std::stop_token stop_;
};

// With on, every transfer also logs its conversation (the FTP commands and
// replies, the HTTP request and response headers) to quendrel.update, the
// password masked. Off by default; set once, before any transfer.
void SetCurlConversationLogging(bool on);

inline constexpr long kConnectTimeoutSeconds = 30;
inline constexpr long kNoProgressSeconds = 60;

}  // namespace quendrel
