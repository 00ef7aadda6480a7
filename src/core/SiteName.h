#pragma once

#include <QString>
#include <QStringView>

// The site that asks for a popup, taken from the address of the page that asks: its host and port, that is the
// address without "http://" and "https://", cut before its first "/", "?" or "#", and without a user name or
// password ("user:pass@"). Case stays as the browser reported it.
QString SiteName(QStringView LocationURL);

// The host name that a site name or a list entry stands for when sites are matched, in the form the browser
// compares: lower case, a Unicode name in punycode ("bücher.example" is "xn--bcher-kva.example"), an IPv6
// address without brackets in its shortest spelling; without a leading "http://" or "https://", a user part, a
// port, a trailing dot, surrounding blanks and anything from the first "/", "?" or "#". Empty when nothing is left.
QString SiteHost(QStringView siteOrEntry);

// Whether the host is an address literal (IPv4 digits and dots, or IPv6), which only ever matches itself.
bool IsAddressLiteral(QStringView host);

// Whether a list entry covers a site: their hosts are equal, the site is a subdomain of the entry, or the site
// is a parent of the entry no higher than the entry's registrable domain ("www.shop.co.uk" covers
// "shop.co.uk" but not "co.uk"). An empty site or entry covers nothing.
bool EntryCoversSite(QStringView entry, QStringView site);
