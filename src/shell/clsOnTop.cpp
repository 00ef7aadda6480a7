#include "clsOnTop.h"

#include "WindowPlacement.h"

clsOnTop::clsOnTop(WindowPlacement& placement)
    : m_placement(placement)
{}

void clsOnTop::MakeNormal(WId hWnd)
{
    m_placement.setTopmost(hWnd, false);
}

void clsOnTop::MakeTopMost(WId hWnd)
{
    m_placement.setTopmost(hWnd, true);
}
