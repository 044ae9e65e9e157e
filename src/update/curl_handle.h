#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace quendrel {

// The sockets a transfer has open, so that another thread can cut them:
// shutdown() ends every wait on them at once, the ones libcurl does without
// a way out (an FTP reply after the data, the answer to QUIT) included. The
// descriptors stay libcurl's until it closes them through Close.
class OpenSockets {
public:
    // A new socket, or CURL_SOCKET_BAD once cut for good.
    curl_socket_t Open(const curl_sockaddr& address);
    int Close(curl_socket_t socket);
    bool Empty() const;
    // Shuts every open socket down; forGood also refuses new ones.
    void Cut(bool forGood);

private:
    mutable std::mutex mutex_;
    std::vector<curl_socket_t> sockets_;
    bool refused_ = false;
};

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
//
// Its transfers run in a multi handle of its own, which keeps a connection
// from one transfer to the next. A connection still open when the holder
// goes is cut, not closed politely: FTP's QUIT would wait for an answer out
// of reach of a stop request.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    explicit operator bool() const { return handle_ != nullptr && multi_ != nullptr; }
    CURL* get() const { return handle_; }

    // Limits every transfer of the program has: 30 s to connect, 60 s
    // without a byte moving, no signals (it runs off the main thread), and
    // an end at once when stop is requested, in whatever step: the request
    // cuts the connections and wakes the transfer's wait.
    void ApplyLimits(const std::stop_token& stop);

    // Adds a request header. False when libcurl is out of memory; the
    // headers are then unchanged.
    bool AddHeader(const char* line);

    // A text (a password) shown as "***" wherever the conversation log or
    // FailureDetail would show it. Empty: nothing to hide.
    void HideInLog(const QString& secret);

    // Runs the transfer set up on the handle; CURLE_ABORTED_BY_CALLBACK
    // when stopped.
    CURLcode Perform();

    // Whether a connection is still open for the next transfer.
    bool HasOpenConnection() const { return !sockets_.Empty(); }

    // The server's replies to the last transfer, one line each (FTP replies,
    // or HTTP status lines), in order; the last 16 of them.
    const QList<QByteArray>& Replies() const { return replies_; }

    // Why the last Perform failed: libcurl's error text, the socket's error
    // when there was one, and the server's last reply to that transfer
    // (an FTP reply such as "530 Login incorrect." or an HTTP status line).
    QString FailureDetail(CURLcode result) const;

    // Called by libcurl; see curl_handle.cpp.
    void NoteReply(const char* data, size_t size);
    void LogConversation(curl_infotype type, const char* data, size_t size) const;
    OpenSockets& Sockets() { return sockets_; }

private:
    // Run from the thread that requests the stop.
    struct StopNow {
        CurlEasy* curl;
        void operator()() const noexcept;
    };

    QByteArray Masked(QByteArray text) const;
    CURLcode RunTransfer();
    CURLcode MultiFailure(CURLMcode code);
    int WaitMilliseconds() const;

    CURL* handle_;
    CURLM* multi_;
    curl_slist* headers_ = nullptr;
    char error_[CURL_ERROR_SIZE] = {};
    QList<QByteArray> secrets_;
    // The server's reply lines to the running or last transfer.
    QList<QByteArray> replies_;
    OpenSockets sockets_;
    // Read by the transfer's loop; no progress callback is needed, which
    // libcurl calls only about once a second while it waits.
    std::stop_token stop_;
    std::optional<std::stop_callback<StopNow>> onStop_;
};

// With on, every transfer also logs its conversation (the FTP commands and
// replies, the HTTP request and response headers) to quendrel.update, the
// password masked. Off by default; set once, before any transfer.
void SetCurlConversationLogging(bool on);

inline constexpr long kConnectTimeoutSeconds = 30;
inline constexpr long kNoProgressSeconds = 60;

}  // namespace quendrel
