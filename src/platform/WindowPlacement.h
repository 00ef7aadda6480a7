#pragma once

#include <qwindowdefs.h> // WId; Qt 6.4 ships no <QWindowDefs> forwarding header

#include <functional>
#include <memory>

class QImage;

// Puts a top-level window in the topmost band of the z-order or back in the normal band, keeping its position
// and size. Failures are ignored and nothing is reported: the callers go on whatever the window system did.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;
    virtual void setTopmost(WId window, bool topmost) = 0;
    // From now on, each time one of this process's windows is mapped, the window system shows the picture that
    // `picture` draws of it until the program has painted the window itself, so no unpainted frame is seen.
    // Where the window system never shows a window before its first paint, there is nothing to do.
    virtual void paintBeforeMapping(WId window, std::function<QImage()> picture) = 0;
};

// The window placement of the platform this program was built for and, on Linux, of the session it runs in:
// call it once the QGuiApplication exists, since the choice rests on its platform name.
std::unique_ptr<WindowPlacement> createWindowPlacement();
