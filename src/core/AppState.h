#pragma once

#include "SiteList.h"

#include <QString>
#include <QtGlobal>

// The process-wide state that the program's parts share, under the names they have always had. The
// application owns one and hands it to those who need it; every test builds a fresh one.
struct AppState {
    // The two site lists as the popup decision searches them.
    SiteList gAllowedSites;
    SiteList gDisallowedSites;

    // The next popup is to be allowed (one shot).
    bool gAllowNext = false;
    // The last status text any watched browser window reported; never cleared.
    QString gStatusText;
    // Popups blocked to date; stops at the largest value instead of wrapping.
    qint32 gBlockedCount = 0;

    // Hand-over between the decision and the setup-mode prompt.
    QString gPromptSite;
    bool gPromptAnswered = false;
    bool gPromptAllow = false;

    // The main window is held on top; windows opened over it are made topmost too.
    bool gOnTopActive = false;

    // Product identity and feature flags.
    QString gProgramName;
    QString gCompanyName;
    QString gWebsite;
    bool gUseSkin = false;
    bool gShowBanner = false;
    QString gBannerUrl;

    // Closing the built-in browser window ends the program.
    bool gExitPending = false;
};
