#pragma once

#include <QString>
#include <QStringView>

// The site that asks for a popup, taken from the address of the page that asks: the address without
// "http://" and "https://" and cut before its first "/", "?" or "#". Case, a user part and a port stay.
QString SiteName(QStringView LocationURL);

// The host name that a site name or a list entry stands for when sites are matched: lower case, without
// a leading "http://" or "https://", a user part, a port, a trailing dot, surrounding blanks and anything
// from the first "/", "?" or "#". Empty when nothing is left.
QString SiteHost(QStringView siteOrEntry);

// Whether the host is an address literal (IPv4 digits and dots, or IPv6), which only ever matches itself.
bool IsAddressLiteral(QStringView host);

// Whether a list entry covers a site: their hosts are equal, or one is a subdomain of the other at a
// dot boundary. An empty site or entry covers nothing.
bool EntryCoversSite(QStringView entry, QStringView site);
