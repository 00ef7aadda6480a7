#include "SiteList.h"

#include "SiteName.h"

void SiteList::setText(const QString& text)
{
    m_text = text;
    // The views first: they point into the hosts.
    m_parents.clear();
    m_hosts.clear();
    for (QStringView line : QStringView(m_text).split(LineEnd))
        index(line);
}

void SiteList::setEntries(const QStringList& entries)
{
    setText(textOf(entries));
}

void SiteList::append(const QString& entry)
{
    m_text += entry;
    m_text += LineEnd;
    index(entry);
}

QString SiteList::textOf(const QStringList& entries)
{
    QString text;
    qsizetype size = 0;
    for (const QString& entry : entries)
        size += entry.size() + LineEnd.size();
    text.reserve(size);
    for (const QString& entry : entries) {
        text += entry;
        text += LineEnd;
    }
    return text;
}

void SiteList::index(QStringView entry)
{
    // Nothing longer than a host name can be is a site: it matches nothing, and costs nothing.
    if (entry.size() > MaxEntryLength)
        return;
    QString found = SiteHost(entry);
    if (found.isEmpty())
        return;
    const QString& host = *m_hosts.insert(std::move(found)).first;
    if (IsAddressLiteral(host))
        return;
    // Parents down to the registrable domain only: "www.shop.co.uk" stands for "shop.co.uk", never "co.uk".
    const qsizetype floor = m_suffixes.registrableDomain(host).size();
    if (floor == 0)
        return;
    for (qsizetype dot = host.indexOf(u'.'); dot >= 0 && host.size() - dot - 1 >= floor;
         dot = host.indexOf(u'.', dot + 1))
        m_parents.insert(QStringView(host).sliced(dot + 1));
}

bool SiteList::covers(QStringView site) const
{
    return coversHost(SiteHost(site));
}

bool SiteList::coversHost(QStringView host) const
{
    if (host.isEmpty())
        return false;
    if (m_hosts.contains(host))
        return true;
    if (IsAddressLiteral(host))
        return false;
    // An entry below the site ("www.shop.com" covers "shop.com").
    if (m_parents.contains(host))
        return true;
    // An entry above the site ("shop.com" covers "www.shop.com").
    for (qsizetype dot = host.indexOf(u'.'); dot >= 0; dot = host.indexOf(u'.', dot + 1)) {
        const QStringView parent = host.sliced(dot + 1);
        if (!parent.isEmpty() && m_hosts.contains(parent) && !IsAddressLiteral(parent))
            return true;
    }
    return false;
}
