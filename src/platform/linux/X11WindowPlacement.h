#pragma once

#include "WindowPlacement.h"

#include <QHash>
#include <QObject>
#include <QSet>

class QWindow;

// The topmost band on X11 is the EWMH state _NET_WM_STATE_ABOVE, which window managers apply without moving or
// resizing the window; it reaches the windows of any client.
// Qt's stays-on-top flag is left alone on purpose: changing it makes Qt's xcb plugin destroy the X window at its
// next show and create a new one, under a new id that QWidget::winId() does not learn. Yet the window manager
// drops the state of a window that is hidden, so for this process's own windows the band is written back into
// _NET_WM_STATE each time Qt is about to show them again.
class X11WindowPlacement : public QObject, public WindowPlacement {
    Q_OBJECT
public:
    using QObject::QObject;

    void setTopmost(WId window, bool topmost) override;
    // X11 shows a newly mapped window's background until its client paints, and Qt gives its windows none: the
    // screen beneath shows through. The picture becomes the background for that moment.
    void paintBeforeMapping(WId window, std::function<QImage()> picture) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void putBackground(const QWindow& window);
    void clearBackground(const QWindow& window);

    QHash<const QWindow*, std::function<QImage()>> m_pictures;
    // Windows whose background is their picture until their first paint.
    QSet<const QWindow*> m_backgrounds;
};
