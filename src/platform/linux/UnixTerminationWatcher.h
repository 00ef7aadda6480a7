#pragma once

#include "TerminationWatcher.h"

#include <QSocketNotifier>

#include <memory>

// SIGTERM, SIGINT and SIGHUP written by the handler to a socket pair and read back in the event loop:
// the only safe way out of a signal handler. One watcher at a time owns the handlers.
class UnixTerminationWatcher : public TerminationWatcher {
    Q_OBJECT
public:
    UnixTerminationWatcher();
    ~UnixTerminationWatcher() override;
    UnixTerminationWatcher(const UnixTerminationWatcher&) = delete;
    UnixTerminationWatcher& operator=(const UnixTerminationWatcher&) = delete;

    bool isActive() const { return m_notifier != nullptr; }

private:
    void readSignal();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
