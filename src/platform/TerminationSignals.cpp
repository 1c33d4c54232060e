#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to the pipe; the notifier reads it in the event loop.
std::atomic<int> g_writeFd = -1;
int g_signalFds[2] = {-1, -1};

void HandleSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(g_writeFd.load(std::memory_order_relaxed), &byte, 1);
    errno = savedErrno;
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    if (g_signalFds[0] >= 0)
        return;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalFds) != 0)
        return;
    g_writeFd = g_signalFds[0];
    m_notifier = std::make_unique<QSocketNotifier>(g_signalFds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TTerminationSignals::OnActivated);

    struct sigaction action {};
    action.sa_handler = HandleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // The end of the session (a terminal that closes, some session managers at logout).
    sigaction(SIGHUP, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals() {
    if (!m_notifier)
        return;
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    m_notifier.reset();
    g_writeFd = -1;
    close(g_signalFds[0]);
    close(g_signalFds[1]);
    g_signalFds[0] = g_signalFds[1] = -1;
}

void TTerminationSignals::OnActivated() {
    unsigned char byte = 0;
    while (read(g_signalFds[1], &byte, 1) == 1)
        emit TerminationRequested(byte);
}
