#pragma once

#include <QProcess>

// A program run for as long as the test needs it, stopped (politely, then not) when it goes out of scope.
class TestProcess {
public:
    TestProcess() = default;
    ~TestProcess()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    QProcess& process() { return process_; }

private:
    QProcess process_;
};
