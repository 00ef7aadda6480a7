// Any bytes as a site-list file: parsing never fails, and writing the entries back reads the same again.
#include "ListFile.h"
#include "SiteList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = ListFile::parse(bytes);
    for (const QString& entry : entries) {
        if (entry.isEmpty() || entry == u" " || entry.contains(u'\n'))
            std::abort();
    }
    if (ListFile::parse(ListFile::serialize(entries)) != entries)
        std::abort();

    SiteList list;
    list.setEntries(entries);
    SiteList appended;
    for (const QString& entry : entries)
        appended.append(entry);
    if (list.text() != appended.text())
        std::abort();
    for (const QString& entry : entries) {
        if (list.covers(entry) != appended.covers(entry))
            std::abort();
    }
    return 0;
}
