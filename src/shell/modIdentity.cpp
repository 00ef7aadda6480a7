#include "modIdentity.h"

#include "AppState.h"
#include "ResourceLocator.h"
#include "VersionRecord.h"

#include <QUrl>

void LoadProductIdentity(AppState& state, const ProductRecord& record, const QString& bannerUrl)
{
    state.gProgramName = record.ProductName;
    state.gCompanyName = record.CompanyName;
    state.gWebsite = record.Comments;
    state.gUseSkin = true;
    state.gShowBanner = true;
    state.gBannerUrl = bannerUrl;
}

QString configuredBannerUrl()
{
    const QString configured = QString::fromUtf8(VersionRecord::BannerUrl);
    const QUrl url(configured);
    if (configured.isEmpty() || !url.isRelative())
        return configured;
    return QUrl::fromLocalFile(ResourceLocator().path(configured)).toString();
}
