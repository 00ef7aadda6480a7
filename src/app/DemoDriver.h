#pragma once

#include <QObject>
#include <QTextStream>
#include <QTimer>

class CdpBrowser;
class HeadlessRunner;
class LoopbackHttpServer;

// Plays the demo on the runner's demo site: opens it in the launched browser, lets its popups come, then
// moves the mouse onto the link the reader follows and clicks it, as a person would.
class DemoDriver : public QObject {
    Q_OBJECT
public:
    // The page's popups, and the one the reader asks for.
    static constexpr int kExpectedDecisions = 5;

    // The runner has started.
    DemoDriver(HeadlessRunner& runner, LoopbackHttpServer& site, QTextStream& err, QObject* parent = nullptr);

    void start();

signals:
    void finished(int exitCode);

private:
    void poll();
    void followLink();
    void fail(const QString& why);

    HeadlessRunner& m_runner;
    LoopbackHttpServer& m_site;
    QTextStream& m_err;
    QTimer m_poll;
    QTimer m_deadline;
    bool m_followed = false;
};
