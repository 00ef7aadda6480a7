#pragma once

#include "BrowserWindow.h"

#include <QList>
#include <QObject>

#include <memory>

// The collection of every browser page window the program can watch.
class ShellWindows : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ShellWindows() override = default;

    // The windows as they stand now, in a stable order.
    virtual QList<std::shared_ptr<BrowserWindow>> windows() const = 0;

    // The program is ending: every popup still in flight is closed as blocked and every page paused on its
    // account goes on; closedDown() follows once that is done (at once where nothing is in flight).
    virtual void closeDown() { emit closedDown(); }

signals:
    // Sent after a window was added to or removed from the collection, so that windows() reflects it.
    void WindowRegistered(long lCookie);
    void WindowRevoked(long lCookie);
    // A window is about to raise NewWindow2: whoever watches the windows catches up with the collection first.
    void NewWindowComing();
    void closedDown();
};
