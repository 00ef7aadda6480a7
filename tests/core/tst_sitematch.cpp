// Site names taken from page addresses, and which list entries cover which sites.
#include "SiteList.h"
#include "SiteName.h"

#include <QTest>

class TestSiteMatch : public QObject {
    Q_OBJECT
private slots:
    void siteName_data();
    void siteName();
    void coverage_data();
    void coverage();
    void listAgreesWithEntries();
    void emptyEntriesInTextMatchNothing();
};

void TestSiteMatch::siteName_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("site");
    QTest::newRow("plain") << "http://www.shop.com/index.html"
                           << "www.shop.com";
    QTest::newRow("https keeps case") << "HTTPS://WWW.Shop.com/a/b"
                                      << "WWW.Shop.com";
    QTest::newRow("port and user stay") << "http://user@shop.com:8080/x"
                                        << "user@shop.com:8080";
    QTest::newRow("query ends it") << "http://shop.com?from=http://ads.com/"
                                   << "shop.com";
    QTest::newRow("fragment ends it") << "https://shop.com#top"
                                      << "shop.com";
    QTest::newRow("no slash at all") << "about:blank"
                                     << "about:blank";
    QTest::newRow("other scheme cut at first slash") << "file:///home/me/page.html"
                                                     << "file:";
    QTest::newRow("scheme alone") << "http://"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("scheme inside the host part goes too") << "http://ahttp://b.com/"
                                                          << "ab.com";
}

void TestSiteMatch::siteName()
{
    QFETCH(QString, url);
    QFETCH(QString, site);
    QCOMPARE(SiteName(url), site);
}

void TestSiteMatch::coverage_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("site");
    QTest::addColumn<bool>("covered");
    QTest::newRow("equal") << "shop.com"
                           << "shop.com" << true;
    QTest::newRow("case never matters") << "SHOP.com"
                                        << "www.Shop.COM" << true;
    QTest::newRow("entry above site") << "shop.com"
                                      << "www.shop.com" << true;
    QTest::newRow("entry below site") << "www.shop.com"
                                      << "shop.com" << true;
    QTest::newRow("deep subdomain") << "shop.com"
                                    << "a.b.c.shop.com" << true;
    QTest::newRow("not at a dot") << "ad.com"
                                  << "bad.com" << false;
    QTest::newRow("not at a dot, other way") << "bad.com"
                                             << "ad.com" << false;
    QTest::newRow("siblings") << "a.shop.com"
                              << "b.shop.com" << false;
    QTest::newRow("entry longer than label") << "myshop.com"
                                             << "shop.com" << false;
    QTest::newRow("scheme and path of entry") << "https://shop.com/programclicks.asp"
                                              << "shop.com" << true;
    QTest::newRow("query of entry") << "shop.com?x=1"
                                    << "shop.com" << true;
    QTest::newRow("port of site") << "127.0.0.1"
                                  << "127.0.0.1:8080" << true;
    QTest::newRow("port of entry") << "shop.com:81"
                                   << "shop.com" << true;
    QTest::newRow("user part") << "shop.com"
                               << "me@shop.com" << true;
    QTest::newRow("blanks around entry") << "  shop.com "
                                         << "shop.com" << true;
    QTest::newRow("trailing dot") << "shop.com."
                                  << "www.shop.com" << true;
    QTest::newRow("empty site") << "shop.com"
                                << "" << false;
    QTest::newRow("empty entry") << ""
                                 << "shop.com" << false;
    QTest::newRow("single space entry") << " "
                                        << "shop.com" << false;
    QTest::newRow("ipv4 only itself") << "0.0.1"
                                      << "127.0.0.1" << false;
    QTest::newRow("ipv4 no parents") << "10.0.0.1"
                                     << "0.0.1" << false;
    QTest::newRow("ipv6 with port") << "[::1]"
                                    << "[::1]:9222" << true;
    QTest::newRow("about:blank is its own") << "about:blank"
                                            << "about:blank" << true;
    QTest::newRow("top-level label covers") << "com"
                                            << "shop.com" << true;
}

void TestSiteMatch::coverage()
{
    QFETCH(QString, entry);
    QFETCH(QString, site);
    QFETCH(bool, covered);
    QCOMPARE(EntryCoversSite(entry, site), covered);
    SiteList list;
    list.setEntries({QStringLiteral("unrelated.org"), entry});
    QCOMPARE(list.covers(site), covered);
}

void TestSiteMatch::listAgreesWithEntries()
{
    // The index must give the same answer as trying every entry, for every pairing of a small world.
    const QStringList hosts = {"shop.com", "www.shop.com", "a.b.shop.com", "bad.com",    "ad.com",
                               "com",      ".shop.com",    "127.0.0.1",    "0.1",        "1",
                               "a.b.1",    "localhost",    "x.localhost",  "",           "http://me@Shop.com:80/p?q#f",
                               "[::1]",    "a..b",         "..",           "about:blank"};
    for (const QString& entry : hosts) {
        SiteList list;
        list.setEntries({entry});
        SiteList appended;
        appended.append(entry);
        for (const QString& site : hosts) {
            const bool expected = EntryCoversSite(entry, site);
            QVERIFY2(list.covers(site) == expected, qPrintable(entry + QLatin1String(" / ") + site));
            QVERIFY2(appended.covers(site) == expected, qPrintable(entry + QLatin1String(" / ") + site));
        }
    }
}

void TestSiteMatch::emptyEntriesInTextMatchNothing()
{
    SiteList list;
    list.setText(QStringLiteral("\r\nshop.com\r\n\r\n"));
    QVERIFY(list.covers(u"shop.com"));
    QVERIFY(!list.covers(u""));
    QVERIFY(!list.covers(u"other.com"));
    QCOMPARE(list.text(), QStringLiteral("\r\nshop.com\r\n\r\n"));
}

QTEST_GUILESS_MAIN(TestSiteMatch)
#include "tst_sitematch.moc"
