#include "QtWindowPlacement.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

void QtWindowPlacement::setTopmost(WId window, bool topmost)
{
    // QWindow::setFlag, not QWidget::setWindowFlags, which would hide the window.
    if (QWindow* qtWindow = findWindow(window))
        qtWindow->setFlag(Qt::WindowStaysOnTopHint, topmost);
}

QWindow* QtWindowPlacement::findWindow(WId window)
{
    const QWindowList windows = QGuiApplication::allWindows();
    const auto found = std::find_if(windows.cbegin(), windows.cend(),
                                    [window](QWindow* w) { return w->handle() && w->winId() == window; });
    return found == windows.cend() ? nullptr : *found;
}
