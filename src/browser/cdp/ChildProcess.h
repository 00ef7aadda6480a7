#pragma once

#include "UniqueFd.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

// A child process started by hand, so that chosen descriptors land on chosen numbers (QProcess
// cannot do that). The child leads a process group of its own and inherits nothing else. It is
// always reaped: when it exits on its own, finished() follows; when this object is dropped first,
// the child is asked to end (SIGTERM), and its whole group is killed after a bounded wait.
class ChildProcess : public QObject {
    Q_OBJECT
public:
    struct FdMapping {
        int parentFd; // open in this process
        int childFd;  // the number it gets in the child (3 or more)
    };
    struct Options {
        std::vector<FdMapping> fds;
        bool discardOutput = false; // stdout and stderr to /dev/null; stdin always is
    };

    // Starts program (a path holding a '/'). Returns null and sets error ("could not start <path>:
    // <reason>") when the process cannot be created or exec fails.
    static std::unique_ptr<ChildProcess> start(const QString& program, const QStringList& arguments,
                                               const Options& options, QString* error);
    ~ChildProcess() override;

    pid_t pid() const { return m_pid; }
    bool isRunning() const { return !m_reaped; }
    // How the child ended, e.g. "exited with status 3" or "was killed by signal 9 (Killed)"; empty while running.
    QString exitDescription() const { return m_exitDescription; }

    // How long terminate() waits after SIGTERM before it kills the group.
    void setTerminateGrace(std::chrono::milliseconds grace) { m_grace = grace; }
    // Ends the child now and reaps it; emits finished() unless it had already ended.
    void terminate();

signals:
    void finished(const QString& description);

private:
    ChildProcess(pid_t pid, UniqueFd pidfd);
    void stop();
    bool waitForExit(std::chrono::milliseconds timeout) const;
    enum class State { Running, Zombie, Gone }; // Gone: reaped by someone else
    State state() const;
    bool reap();
    void onExitNoticed();

    pid_t m_pid;
    UniqueFd m_pidfd;
    std::unique_ptr<QSocketNotifier> m_exitNotifier;
    std::unique_ptr<QTimer> m_pollTimer; // only where pidfd_open is missing
    std::chrono::milliseconds m_grace{3000};
    bool m_reaped = false;
    QString m_exitDescription;
};
