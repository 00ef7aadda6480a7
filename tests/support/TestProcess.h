#pragma once

#include <QProcess>
#include <QStringList>

#include <unistd.h>

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

// Chromium as a user starts it, headless here, with the switches and address given. False when it did not start.
inline bool startChromium(TestProcess& browser, QStringList arguments)
{
    arguments.prepend(QStringLiteral("--no-first-run"));
    arguments.prepend(QStringLiteral("--disable-gpu"));
    arguments.prepend(QStringLiteral("--headless=new"));
    if (::geteuid() == 0)
        arguments << QStringLiteral("--no-sandbox");
    browser.process().setStandardOutputFile(QProcess::nullDevice());
    browser.process().setStandardErrorFile(QProcess::nullDevice());
    browser.process().start(QStringLiteral("/usr/lib/chromium/chromium"), arguments);
    return browser.process().waitForStarted();
}
