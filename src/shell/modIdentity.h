#pragma once

#include "ProductRecord.h"

#include <QString>

// The identity every caption is built from, and the program's decoration switches. Read once at start-up
// and never changed afterwards.
struct ProductIdentity {
    QString gProgramName;
    QString gCompanyName;
    QString gWebsite;
    bool gUseSkin = false;
    bool gShowBanner = false;
    QString gBannerUrl;
};

// The banner page the build was configured with; a relative path names a file among the resources.
QString configuredBannerUrl();
// The installed desktop entry's name without ".desktop", which is also the icon's name in the icon theme.
QString configuredDesktopFileName();

// Product, maker and web site from the version record, the skin and the banner on, and the banner page.
ProductIdentity LoadProductIdentity(const ProductRecord& record = ProductRecord::compiled(),
                                    const QString& bannerUrl = configuredBannerUrl());
