#pragma once

#include "SiteList.h"

#include <QString>
#include <QtGlobal>

// What the popup decision reads and changes, under the names it has always had. The blocking engine owns
// one; every test builds a fresh one.
struct DecisionState {
    // The two site lists as the popup decision searches them.
    SiteList gAllowedSites;
    SiteList gDisallowedSites;

    // The next popup is to be allowed (one shot).
    bool gAllowNext = false;
    // The last status text any watched browser window reported; never cleared.
    QString gStatusText;
    // Popups blocked to date; stops at the largest value instead of wrapping.
    qint32 gBlockedCount = 0;
};
