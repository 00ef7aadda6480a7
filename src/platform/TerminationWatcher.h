#pragma once

#include <QObject>

#include <memory>

// Tells the program that it was asked to end (SIGTERM, SIGINT, SIGHUP on Unix), on the GUI thread,
// so that it can close the same way as when the user quits.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TerminationWatcher() override = default;

signals:
    void terminationRequested(int signalNumber);
};

std::unique_ptr<TerminationWatcher> createTerminationWatcher();
