#pragma once

#include "frmWebsite.h"

#include <QtGlobal>

// For a test's initMain(): QtWebEngine reads these once, before the application object exists. Chromium's
// sandbox needs what a test machine may not give, and there is no GPU to use.
inline void prepareWebEngineTest()
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    frmWebsite::prepareProcess();
}
