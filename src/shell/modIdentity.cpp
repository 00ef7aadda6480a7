#include "modIdentity.h"

#include "ResourceLocator.h"
#include "VersionRecord.h"

#include <QUrl>

ProductIdentity LoadProductIdentity(const ProductRecord& record, const QString& bannerUrl)
{
    ProductIdentity identity;
    identity.gProgramName = record.ProductName;
    identity.gCompanyName = record.CompanyName;
    identity.gWebsite = record.Comments;
    identity.gUseSkin = true;
    identity.gShowBanner = true;
    identity.gBannerUrl = bannerUrl;
    return identity;
}

QString configuredDesktopFileName()
{
    return QString::fromUtf8(VersionRecord::DesktopFileName);
}

QString configuredBannerUrl()
{
    const QString configured = QString::fromUtf8(VersionRecord::BannerUrl);
    const QUrl url(configured);
    if (configured.isEmpty() || !url.isRelative())
        return configured;
    return QUrl::fromLocalFile(ResourceLocator().path(configured)).toString();
}
