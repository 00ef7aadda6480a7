#include "ChildProcess.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Everything the child needs, prepared before fork: after it only async-signal-safe calls are allowed.
struct ChildSetup {
    const char* program = nullptr;
    char* const* argv = nullptr;
    const ChildProcess::FdMapping* fds = nullptr;
    size_t fdCount = 0;
    int devNull = -1;
    bool discardOutput = false;
    int statusFd = -1;
    int statusTarget = -1; // just above the highest mapped number
    int maxFd = 1024;
};

[[noreturn]] void failInChild(int statusFd)
{
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(statusFd, &error, sizeof error);
    ::_exit(127);
}

[[noreturn]] void runChild(const ChildSetup& setup)
{
    int statusFd = setup.statusFd;
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaultAction {}; // a zero handler is SIG_DFL
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &defaultAction, nullptr);

    // Move every descriptor above the target numbers first, so that no dup2 overwrites one still
    // needed, and so that dup2 onto a target always clears close-on-exec (dup2(fd, fd) would not).
    const int floor = setup.statusTarget + 1;
    constexpr size_t kMaxFds = 16;
    int moved[kMaxFds];
    const size_t count = setup.fdCount < kMaxFds ? setup.fdCount : kMaxFds;
    for (size_t i = 0; i < count; ++i) {
        moved[i] = ::fcntl(setup.fds[i].parentFd, F_DUPFD_CLOEXEC, floor);
        if (moved[i] < 0)
            failInChild(statusFd);
    }
    const int devNull = ::fcntl(setup.devNull, F_DUPFD_CLOEXEC, floor);
    const int status = ::fcntl(statusFd, F_DUPFD_CLOEXEC, floor);
    if (devNull < 0 || status < 0)
        failInChild(statusFd);
    statusFd = status;

    if (::dup2(devNull, STDIN_FILENO) < 0)
        failInChild(statusFd);
    if (setup.discardOutput && (::dup2(devNull, STDOUT_FILENO) < 0 || ::dup2(devNull, STDERR_FILENO) < 0))
        failInChild(statusFd);
    for (size_t i = 0; i < count; ++i) {
        if (::dup2(moved[i], setup.fds[i].childFd) < 0)
            failInChild(statusFd);
    }
    if (::dup2(statusFd, setup.statusTarget) < 0)
        failInChild(statusFd);
    statusFd = setup.statusTarget;
    ::fcntl(statusFd, F_SETFD, FD_CLOEXEC);

    // Nothing else of ours reaches the browser.
    if (::close_range(static_cast<unsigned>(statusFd) + 1, ~0U, 0) != 0) {
        for (int fd = statusFd + 1; fd < setup.maxFd; ++fd)
            ::close(fd);
    }
    ::execv(setup.program, setup.argv);
    failInChild(statusFd);
}

QString describeStatus(int status)
{
    if (WIFEXITED(status))
        return QStringLiteral("exited with status %1").arg(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        return QStringLiteral("was killed by signal %1 (%2)").arg(sig).arg(QString::fromLocal8Bit(::strsignal(sig)));
    }
    return QStringLiteral("ended");
}

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const QString& program, const QStringList& arguments,
                                                  const Options& options, QString* error)
{
    auto fail = [&](const QString& reason) -> std::unique_ptr<ChildProcess> {
        if (error)
            *error = QStringLiteral("could not start %1: %2").arg(program, reason);
        return nullptr;
    };
    if (!program.contains(QLatin1Char('/')))
        return fail(QStringLiteral("not a path"));

    const QByteArray programPath = QFile::encodeName(program);
    std::vector<QByteArray> argStorage;
    argStorage.reserve(static_cast<size_t>(arguments.size()) + 1);
    argStorage.push_back(programPath);
    for (const QString& argument : arguments)
        argStorage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : argStorage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int highest = STDERR_FILENO;
    for (const FdMapping& mapping : options.fds) {
        if (mapping.childFd <= STDERR_FILENO || mapping.parentFd < 0)
            return fail(QStringLiteral("invalid descriptor mapping"));
        highest = std::max(highest, mapping.childFd);
    }
    if (options.fds.size() > 16)
        return fail(QStringLiteral("too many descriptors"));

    UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!devNull.isValid())
        return fail(errnoText(errno));
    int statusPipe[2];
    if (::pipe2(statusPipe, O_CLOEXEC) != 0)
        return fail(errnoText(errno));
    UniqueFd statusRead(statusPipe[0]);
    UniqueFd statusWrite(statusPipe[1]);

    rlimit limit{};
    int maxFd = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        maxFd = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));

    ChildSetup setup;
    setup.program = programPath.constData();
    setup.argv = argv.data();
    setup.fds = options.fds.data();
    setup.fdCount = options.fds.size();
    setup.devNull = devNull.get();
    setup.discardOutput = options.discardOutput;
    setup.statusFd = statusWrite.get();
    setup.statusTarget = highest + 1;
    setup.maxFd = maxFd;

    const pid_t pid = ::fork();
    if (pid < 0)
        return fail(errnoText(errno));
    if (pid == 0)
        runChild(setup);

    statusWrite.reset();
    int childError = 0;
    ssize_t got;
    do {
        got = ::read(statusRead.get(), &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        // The child reported a failure and exits at once.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return fail(got == sizeof childError ? errnoText(childError) : QStringLiteral("unknown failure"));
    }

    // Through syscall(): glibc 2.36's <sys/pidfd.h> lacks C linkage for C++.
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, std::move(pidfd)));
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd)
    : m_pid(pid)
    , m_pidfd(std::move(pidfd))
{
    if (m_pidfd.isValid()) {
        m_exitNotifier = std::make_unique<QSocketNotifier>(m_pidfd.get(), QSocketNotifier::Read);
        connect(m_exitNotifier.get(), &QSocketNotifier::activated, this, &ChildProcess::onExitNoticed);
    } else {
        // Kernels before 5.3 have no pidfd: look now and then instead.
        m_pollTimer = std::make_unique<QTimer>();
        m_pollTimer->setInterval(100);
        connect(m_pollTimer.get(), &QTimer::timeout, this, &ChildProcess::onExitNoticed);
        m_pollTimer->start();
    }
}

ChildProcess::~ChildProcess()
{
    stop();
}

void ChildProcess::terminate()
{
    if (m_reaped)
        return;
    stop();
    if (m_reaped)
        emit finished(m_exitDescription);
}

void ChildProcess::stop()
{
    if (m_reaped)
        return;
    if (state() == State::Running) {
        ::kill(m_pid, SIGTERM);
        if (!waitForExit(m_grace)) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            waitForExit(std::chrono::seconds(2));
        }
    }
    reap();
}

ChildProcess::State ChildProcess::state() const
{
    siginfo_t info{};
    // WNOWAIT leaves the child a zombie, so its process group stays ours until reap().
    if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD ? State::Gone : State::Running;
    return info.si_pid == m_pid ? State::Zombie : State::Running;
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout) const
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (state() == State::Running) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (m_pidfd.isValid()) {
            pollfd entry{m_pidfd.get(), POLLIN, 0};
            ::poll(&entry, 1, static_cast<int>(left.count()));
        } else {
            const timespec step{0, 10'000'000};
            ::nanosleep(&step, nullptr);
        }
    }
    return true;
}

bool ChildProcess::reap()
{
    if (m_reaped)
        return true;
    const State now = state();
    if (now == State::Running)
        return false;
    // While the leader is a zombie its group id cannot have been reused: sweep helpers it left.
    if (now == State::Zombie)
        ::kill(-m_pid, SIGKILL);
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(m_pid, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0)
        return false;
    m_reaped = true;
    m_exitDescription = got == m_pid ? describeStatus(status) : QStringLiteral("ended");
    // Disabled, not deleted: this may run inside the notifier's own signal.
    if (m_exitNotifier)
        m_exitNotifier->setEnabled(false);
    if (m_pollTimer)
        m_pollTimer->stop();
    return true;
}

void ChildProcess::onExitNoticed()
{
    if (reap())
        emit finished(m_exitDescription);
}
