#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quendrel::test {

// The local HTTP, FTP and silent TCP servers of support/servers.py, in a
// private temporary directory, for as long as this object lives.
//
// The script's stdin stays an open pipe: it ends when the pipe closes, so a
// test that crashes does not leave the servers behind.
class TestServers {
public:
    TestServers();
    ~TestServers();
    TestServers(const TestServers&) = delete;
    TestServers& operator=(const TestServers&) = delete;

    // Starts the servers and waits until they listen. False, with the
    // script's error output as a warning, when they did not come up.
    bool Start();

    quint16 FtpPort() const { return ftpPort_; }
    // Accepts connections and never sends anything.
    quint16 SilentPort() const { return silentPort_; }
    // Whether a client's connection to the silent port stands.
    bool SilentPortConnected() const;
    // "http://127.0.0.1:<port>" followed by pathAndQuery ("/ip", "/echo?body=...").
    QString HttpUrl(const QString& pathAndQuery) const;
    // The directory all FTP users log in to; it holds "site" and
    // "site/nested dir/deeper".
    QString FtpRoot() const { return root_.filePath(QStringLiteral("ftp")); }
    // Every command the FTP server received, one per line, passwords hidden.
    QString FtpCommandLog() const { return root_.filePath(QStringLiteral("ftp-commands.log")); }

private:
    void Stop();
    // The script's error output, kept beside the FTP home: a pipe nobody
    // reads could fill up and stall the servers in the middle of a test.
    QString ErrorLog() const { return root_.filePath(QStringLiteral("servers.stderr")); }

    QTemporaryDir root_;
    QProcess process_;
    quint16 httpPort_ = 0;
    quint16 ftpPort_ = 0;
    quint16 silentPort_ = 0;
};

}  // namespace quendrel::test
