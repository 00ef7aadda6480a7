#include "NullWindowPlacement.h"

#include <algorithm>

void NullWindowPlacement::setTopmost(WId window, bool topmost)
{
    calls_.append({window, topmost});
}

bool NullWindowPlacement::isTopmost(WId window) const
{
    const auto last =
        std::find_if(calls_.crbegin(), calls_.crend(), [window](const Call& call) { return call.window == window; });
    return last != calls_.crend() && last->topmost;
}
