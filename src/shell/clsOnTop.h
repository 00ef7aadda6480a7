#pragma once

#include <qwindowdefs.h>

class WindowPlacement;

// Topmost or normal placement of a window, keeping its position and size. Failures are the window
// system's business: nothing is reported.
class clsOnTop {
public:
    explicit clsOnTop(WindowPlacement& placement);

    void MakeNormal(WId hWnd);
    void MakeTopMost(WId hWnd);

private:
    WindowPlacement& m_placement;
};
