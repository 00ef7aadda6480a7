#include "SiteName.h"

namespace {

constexpr QLatin1String kHttp("http://");
constexpr QLatin1String kHttps("https://");

qsizetype firstCut(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'/' || c == u'?' || c == u'#')
            return i;
    }
    return -1;
}

bool startsWithAscii(const QChar* text, QLatin1String lowerCase)
{
    for (qsizetype i = 0; i < lowerCase.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char16_t lower = c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
        if (lower != char16_t(lowerCase[i].unicode()))
            return false;
    }
    return true;
}

// Removes every occurrence of a lower-case ASCII text, letter case aside, in one pass without allocating.
void removeEvery(QString& text, QLatin1String lowerCase)
{
    const qsizetype n = lowerCase.size();
    QChar* out = text.data();
    QChar* const begin = out;
    const QChar* in = out;
    const QChar* const end = in + text.size();
    while (in < end) {
        if (end - in >= n && startsWithAscii(in, lowerCase)) {
            in += n;
            continue;
        }
        *out++ = *in++;
    }
    text.truncate(out - begin);
}

bool isSubdomainOf(QStringView sub, QStringView parent)
{
    return sub.size() > parent.size() && sub.endsWith(parent) && sub[sub.size() - parent.size() - 1] == u'.';
}

} // namespace

QString SiteName(QStringView LocationURL)
{
    QString site = LocationURL.toString();
    // Every occurrence goes, wherever it stands; the cut below keeps only the host part.
    removeEvery(site, kHttp);
    removeEvery(site, kHttps);
    const qsizetype cut = firstCut(site);
    if (cut >= 0)
        site.truncate(cut);
    return site;
}

QString SiteHost(QStringView text)
{
    QStringView host = text.trimmed();
    if (host.startsWith(kHttp, Qt::CaseInsensitive))
        host = host.sliced(kHttp.size());
    else if (host.startsWith(kHttps, Qt::CaseInsensitive))
        host = host.sliced(kHttps.size());
    if (const qsizetype cut = firstCut(host); cut >= 0)
        host.truncate(cut);
    if (const qsizetype at = host.lastIndexOf(u'@'); at >= 0)
        host = host.sliced(at + 1);
    if (host.startsWith(u'[')) {
        // [v6::address]:port
        if (const qsizetype close = host.indexOf(u']'); close >= 0)
            host.truncate(close + 1);
    } else if (const qsizetype colon = host.indexOf(u':'); colon >= 0) {
        // Only a port ends a host; "about:blank" and the like stay whole.
        bool portOnly = true;
        for (QChar c : host.sliced(colon + 1))
            portOnly = portOnly && c.isDigit();
        if (portOnly)
            host.truncate(colon);
    }
    while (host.endsWith(u'.'))
        host.chop(1);
    return host.toString().toLower();
}

bool IsAddressLiteral(QStringView host)
{
    if (host.startsWith(u'[') || host.contains(u':'))
        return true;
    for (QChar c : host) {
        if (!c.isDigit() && c != u'.')
            return false;
    }
    return !host.isEmpty();
}

bool EntryCoversSite(QStringView entry, QStringView site)
{
    const QString entryHost = SiteHost(entry);
    const QString siteHost = SiteHost(site);
    if (entryHost.isEmpty() || siteHost.isEmpty())
        return false;
    if (entryHost == siteHost)
        return true;
    if (IsAddressLiteral(entryHost) || IsAddressLiteral(siteHost))
        return false;
    return isSubdomainOf(siteHost, entryHost) || isSubdomainOf(entryHost, siteHost);
}
