#include "UnixTerminationWatcher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler; -1 while no watcher is installed.
volatile sig_atomic_t g_writeFd = -1;

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeFd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

UnixTerminationWatcher::UnixTerminationWatcher()
{
    if (g_writeFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    g_writeFd = m_fds[1];
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &UnixTerminationWatcher::readSignal);
}

UnixTerminationWatcher::~UnixTerminationWatcher()
{
    if (m_notifier) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int signalNumber : kSignals)
            ::sigaction(signalNumber, &action, nullptr);
        g_writeFd = -1;
        m_notifier.reset();
    }
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void UnixTerminationWatcher::readSignal()
{
    unsigned char byte = 0;
    while (::read(m_fds[0], &byte, 1) == 1)
        emit terminationRequested(byte);
}
