#pragma once

#include "WindowPlacement.h"

class QWindow;

// Asks Qt for the band through Qt::WindowStaysOnTopHint on the window's QWindow. Where the session is not X11
// (Wayland, offscreen) that is all a client can do; windows of other processes are left alone.
class QtWindowPlacement : public WindowPlacement {
public:
    void setTopmost(WId window, bool topmost) override;
    void paintBeforeMapping(WId, std::function<QImage()>) override {}

    // The QWindow of this process whose native window is the given one, if any. Windows not created yet are
    // skipped rather than created by asking for their id.
    static QWindow* findWindow(WId window);
};
