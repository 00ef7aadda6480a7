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

signals:
    // Sent after a window was added to or removed from the collection, so that windows() reflects it.
    void WindowRegistered(long lCookie);
    void WindowRevoked(long lCookie);
};
