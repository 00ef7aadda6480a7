#pragma once

#include "WindowPlacement.h"

#include <QList>

// Touches no window and remembers what it was asked: for tests and systems without a window placement.
class NullWindowPlacement : public WindowPlacement {
public:
    struct Call {
        WId window;
        bool topmost;
    };

    void setTopmost(WId window, bool topmost) override;
    void paintBeforeMapping(WId, std::function<QImage()>) override {}

    // The band last asked for the window; the normal band when nothing was asked.
    bool isTopmost(WId window) const;
    // Every call, oldest first.
    const QList<Call>& calls() const { return calls_; }

private:
    QList<Call> calls_;
};
