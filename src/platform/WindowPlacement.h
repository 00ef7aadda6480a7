#pragma once

#include <qwindowdefs.h> // WId; Qt 6.4 ships no <QWindowDefs> forwarding header

#include <memory>

// Puts a top-level window in the topmost band of the z-order or back in the normal band, keeping its position
// and size. Failures are ignored and nothing is reported: the callers go on whatever the window system did.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;
    virtual void setTopmost(WId window, bool topmost) = 0;
};

// The window placement of the platform this program was built for and, on Linux, of the session it runs in:
// call it once the QGuiApplication exists, since the choice rests on its platform name.
std::unique_ptr<WindowPlacement> createWindowPlacement();
