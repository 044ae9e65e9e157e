#include "app/unix_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quendrel {

namespace {

int g_signalSocket[2] = {-1, -1};

void OnSignal(int number)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

void UnixSignals::Install()
{
    if (g_signalSocket[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        // Started with nohup: a hangup stays ignored, as it was asked to be.
        struct sigaction inherited {};
        if (number == SIGHUP && ::sigaction(number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        ::sigaction(number, &action, nullptr);
    }
}

UnixSignals::UnixSignals(QObject* parent) : QObject(parent), notifier_(nullptr)
{
    if (g_signalSocket[0] < 0)
        return;
    notifier_ = new QSocketNotifier(g_signalSocket[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_signalSocket[0], &byte, 1) == 1)
            emit TerminationRequested(byte);
    });
}

}  // namespace quendrel
