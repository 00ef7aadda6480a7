#pragma once

#include "ProductRecord.h"

#include <QString>

struct AppState;

// The banner page the build was configured with; a relative path names a file among the resources.
QString configuredBannerUrl();

// Fills the identity values every caption is built from: product, maker and web site from the version
// record, the skin and banner switches, and the banner page. Runs first of all; running it again sets
// the same values again.
void LoadProductIdentity(AppState& state, const ProductRecord& record = ProductRecord::compiled(),
                         const QString& bannerUrl = configuredBannerUrl());
