#include "ProductRecord.h"

#include "VersionRecord.h"

ProductRecord ProductRecord::compiled()
{
    ProductRecord record;
    record.ProductName = QString::fromUtf8(VersionRecord::ProductName);
    record.CompanyName = QString::fromUtf8(VersionRecord::CompanyName);
    record.Comments = QString::fromUtf8(VersionRecord::Comments);
    record.FileVersion = QString::fromUtf8(VersionRecord::FileVersion);
    record.ProductVersion = QString::fromUtf8(VersionRecord::ProductVersion);
    record.Major = VersionRecord::Major;
    record.Minor = VersionRecord::Minor;
    record.Revision = VersionRecord::Patch;
    return record;
}
