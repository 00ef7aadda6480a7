#include "modOnTop.h"

#include "clsOnTop.h"

#include <QWidget>

void SetOnTop(clsOnTop& onTop, QWidget& form, bool topmost)
{
    if (topmost)
        onTop.MakeTopMost(form.window()->winId());
    else
        onTop.MakeNormal(form.window()->winId());
}
