// Any page address and list: the site name is cut where it should be, and the indexed list gives the
// same answer as trying every entry one by one.
#include "SiteList.h"
#include "SiteName.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // First line: the page address; the rest: list entries, one per line.
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList lines = input.split(u'\n');
    const QString url = lines.takeFirst();

    // The site is the host and port alone: no path, query, fragment or user part.
    const QString site = SiteName(url);
    if (site.contains(u'/') || site.contains(u'?') || site.contains(u'#') || site.contains(u'@'))
        std::abort();
    const QString host = SiteHost(site);
    if (host != host.toLower() || host.endsWith(u'.'))
        std::abort();

    SiteList list;
    list.setEntries(lines);
    bool anyEntry = false;
    for (const QString& entry : std::as_const(lines)) {
        anyEntry = anyEntry || EntryCoversSite(entry, site);
        // Every entry covers its own site, unless it names no host at all.
        if (!SiteHost(entry).isEmpty() && !list.covers(entry))
            std::abort();
    }
    if (list.covers(site) != anyEntry || list.coversHost(host) != anyEntry)
        std::abort();
    if (site.isEmpty() && list.covers(site))
        std::abort();
    return 0;
}
