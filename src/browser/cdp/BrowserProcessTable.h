#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A running browser of this user that opened its DevTools on a TCP port of its own choosing
// (--remote-debugging-port=N with N above 0): such a browser writes no DevToolsActivePort.
struct DebuggingPortProcess {
    qint64 pid = 0;
    QString program; // the executable's file name, for messages
    QString address; // --remote-debugging-address, else the browser's default (127.0.0.1)
    quint16 port = 0;
    QString profileDir; // --user-data-dir; empty for the browser's default profile

    // The browser process described by a NUL-separated command line, or nothing for any other process
    // (the browser's helpers carry --type=, a port of 0 is published through DevToolsActivePort instead).
    static std::optional<DebuggingPortProcess> fromCommandLine(qint64 pid, const QByteArray& cmdline);
    bool operator==(const DebuggingPortProcess&) const = default;
};

// Where the running browsers are listed.
class BrowserProcessTable {
public:
    virtual ~BrowserProcessTable() = default;
    virtual QList<DebuggingPortProcess> debuggingPortProcesses() const = 0;
};

// The processes under /proc that belong to the user running this program; other users' browsers are never
// looked at.
class ProcBrowserProcessTable : public BrowserProcessTable {
public:
    QList<DebuggingPortProcess> debuggingPortProcesses() const override;
};

// Lists nothing: for watching browsers by their DevToolsActivePort files only.
class NoBrowserProcesses : public BrowserProcessTable {
public:
    QList<DebuggingPortProcess> debuggingPortProcesses() const override { return {}; }
};
