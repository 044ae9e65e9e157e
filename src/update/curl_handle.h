#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

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

    // A text (a password) shown as "***" wherever the conversation log or
    // FailureDetail would show it. Empty: nothing to hide.
    void HideInLog(const QString& secret);

    // Runs the transfer set up on the handle.
    CURLcode Perform();

    // Why the last Perform failed: libcurl's error text, the socket's error
    // when there was one, and the server's last reply to that transfer
    // (an FTP reply such as "530 Login incorrect." or an HTTP status line).
    QString FailureDetail(CURLcode result) const;

    // Called by libcurl; see curl_handle.cpp.
    void NoteReply(const char* data, size_t size);
    void LogConversation(curl_infotype type, const char* data, size_t size) const;

private:
    QByteArray Masked(QByteArray text) const;

    CURL* handle_;
    curl_slist* headers_ = nullptr;
    char error_[CURL_ERROR_SIZE] = {};
    QList<QByteArray> secrets_;
    // The server's last reply line to the running or last transfer.
    QByteArray lastReply_;
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
