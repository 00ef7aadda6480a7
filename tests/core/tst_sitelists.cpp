// The two site lists kept in step across their files, their rows and their in-memory texts.
#include "DecisionState.h"
#include "ListFile.h"
#include "Module1.h"
#include "StatusSink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct RecordingStatus : StatusSink {
    QStringList shown;
    void ShowStatus(const QString& text) override { shown << text; }
};

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

struct Lists {
    QTemporaryDir dir;
    DecisionState state;
    RecordingStatus status;
    Module1 lists{state, dir.path(), status};
    QString allowedPath() const { return dir.filePath("allowed.txt"); }
    QString disallowedPath() const { return dir.filePath("disallowed.txt"); }
};

} // namespace

class TestSiteLists : public QObject {
    Q_OBJECT
private slots:
    void parseSkipsIgnoredLines_data();
    void parseSkipsIgnoredLines();
    void loadAddsRowsAndReplacesText();
    void addButtonTrimsAndRefusesNothingTyped();
    void sameHostTwiceIsRefused();
    void addGoesAfterTheLastEntry();
    void emptyListRoundTrip();
    void deleteRemovesExactlyTheSelectedRow();
    void deleteWithoutSelectionWritesNothing();
    void removeDropsEqualEntriesOnly();
    void failedWritesChangeNothing();
    void missingFileOnLoadIsReported();
    void fullListRefusesAdds();
    void lineBreaksAreRefused();
    void textOutsideAsciiRoundTrips();
};

void TestSiteLists::parseSkipsIgnoredLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("blank last line") << QByteArray("alpha\r\nbeta\r\n\r\n") << QStringList{"alpha", "beta"};
    QTest::newRow("last line unterminated") << QByteArray("alpha\r\nbeta") << QStringList{"alpha", "beta"};
    QTest::newRow("single space skipped") << QByteArray("a\r\n \r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("two spaces kept") << QByteArray("  \r\n") << QStringList{"  "};
    QTest::newRow("bare LF line ends") << QByteArray("a\nb\n\n") << QStringList{"a", "b"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\n\r\r\nb") << QStringList{"a", "b"};
    QTest::newRow("blanks kept as typed") << QByteArray(" a \r\n") << QStringList{" a "};
    QTest::newRow("only line end") << QByteArray("\r\n") << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
}

void TestSiteLists::parseSkipsIgnoredLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    QCOMPARE(ListFile::parse(bytes), entries);
}

void TestSiteLists::loadAddsRowsAndReplacesText()
{
    Lists l;
    writeBytes(l.allowedPath(), "alpha\r\nbeta\r\n\r\n");
    l.state.gAllowedSites.setText(QStringLiteral("from-settings.com\r\n"));
    l.lists.List1().setStringList({"already"});
    QVERIFY(l.lists.LoadAllowedSites());
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"already", "alpha", "beta"}));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("alpha\r\nbeta\r\n"));
    QVERIFY(!l.state.gAllowedSites.covers(u"from-settings.com"));
    QVERIFY(l.state.gAllowedSites.covers(u"beta"));
}

void TestSiteLists::addButtonTrimsAndRefusesNothingTyped()
{
    Lists l;
    for (const QString& nothing : {QString(), QStringLiteral(" "), QStringLiteral("  \t ")})
        QVERIFY(!Module1::AddButton(l.lists.allowed(), nothing));
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("<missing>"));
    QCOMPARE(l.status.shown.size(), 3);
    QCOMPARE(l.status.shown.constLast(), "Type a site first; nothing was added to the allowed list");

    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral(" shop.com ")));
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("shop.com\r\n"));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("shop.com\r\n"));

    // The next start finds the same entries.
    DecisionState fresh;
    RecordingStatus status;
    Module1 again(fresh, l.dir.path(), status);
    QVERIFY(again.LoadAllowedSites());
    QCOMPARE(again.List1().stringList(), QStringList{"shop.com"});
}

void TestSiteLists::sameHostTwiceIsRefused()
{
    Lists l;
    QVERIFY(Module1::AddButton(l.lists.disallowed(), QStringLiteral("ads.com")));
    // The same host however it is written: letter case, a scheme, a path.
    for (const char* again : {"ads.com", "ADS.Com", "https://ads.com/banner", " ads.com:8080 "}) {
        QVERIFY2(!Module1::AddButton(l.lists.disallowed(), QString::fromLatin1(again)), again);
        QCOMPARE(l.status.shown.constLast(), "ads.com is on the disallowed list already");
    }
    // Another host is another entry, even where one covers the other.
    QVERIFY(Module1::AddButton(l.lists.disallowed(), QStringLiteral("www.ads.com")));
    QCOMPARE(l.lists.List2().stringList(), (QStringList{"ads.com", "www.ads.com"}));
    QCOMPARE(readBytes(l.disallowedPath()), QByteArray("ads.com\r\nwww.ads.com\r\n"));
    QCOMPARE(l.state.gDisallowedSites.text(), QStringLiteral("ads.com\r\nwww.ads.com\r\n"));
    // The other list is another list.
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("ads.com")));
}

void TestSiteLists::addGoesAfterTheLastEntry()
{
    Lists l;
    writeBytes(l.disallowedPath(), "a.com\r\n\r\n");
    QVERIFY(l.lists.LoadDisallowedSites());
    // "Block Always" and the Add button alike: the closing blank line stays last.
    QVERIFY(l.lists.AddDisallowedSite(QStringLiteral("b.com")));
    QCOMPARE(readBytes(l.disallowedPath()), QByteArray("a.com\r\nb.com\r\n\r\n"));
    DecisionState fresh;
    RecordingStatus status;
    Module1 again(fresh, l.dir.path(), status);
    QVERIFY(again.LoadDisallowedSites());
    QCOMPARE(again.List2().stringList(), (QStringList{"a.com", "b.com"}));
}

void TestSiteLists::emptyListRoundTrip()
{
    Lists l;
    QVERIFY(l.lists.SaveAllowedSites());
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("\r\n"));
    QVERIFY(l.lists.LoadAllowedSites());
    QCOMPARE(l.lists.List1().rowCount(), 0);
    QVERIFY(l.state.gAllowedSites.text().isEmpty());
}

void TestSiteLists::deleteRemovesExactlyTheSelectedRow()
{
    Lists l;
    writeBytes(l.allowedPath(), "shop\r\nmyShop\r\nshop\r\n\r\n");
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(Module1::DeleteButton(l.lists.allowed(), 2));
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"shop", "myShop"}));
    QVERIFY(Module1::DeleteButton(l.lists.allowed(), 0));
    QCOMPARE(l.lists.List1().stringList(), QStringList{"myShop"});
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("myShop\r\n\r\n"));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("myShop\r\n"));
    QVERIFY(l.state.gAllowedSites.covers(u"myshop"));
    QVERIFY(!l.state.gAllowedSites.covers(u"shop"));
}

void TestSiteLists::deleteWithoutSelectionWritesNothing()
{
    Lists l;
    writeBytes(l.allowedPath(), "a\r\nb");
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(!Module1::DeleteButton(l.lists.allowed(), -1));
    QVERIFY(!Module1::DeleteButton(l.lists.allowed(), 2));
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("a\r\nb"));
    QCOMPARE(l.lists.List1().rowCount(), 2);

    Lists empty;
    QVERIFY(!Module1::DeleteButton(empty.lists.disallowed(), 0));
    QCOMPARE(readBytes(empty.disallowedPath()), QByteArray("<missing>"));
}

void TestSiteLists::removeDropsEqualEntriesOnly()
{
    Lists l;
    writeBytes(l.allowedPath(), "shop\r\nSHOP\r\nmyShop\r\nshops\r\n");
    QVERIFY(l.lists.LoadAllowedSites());
    QVERIFY(l.lists.RemoveAllowedSite(QStringLiteral("Shop")));
    QCOMPARE(l.lists.List1().stringList(), (QStringList{"myShop", "shops"}));
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("myShop\r\nshops\r\n"));
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("myShop\r\nshops\r\n"));
}

void TestSiteLists::failedWritesChangeNothing()
{
    Lists l;
    writeBytes(l.allowedPath(), "keep.com\r\n");
    QVERIFY(l.lists.LoadAllowedSites());
    // A folder where the file should be: no write can succeed, whoever runs the test.
    QVERIFY(QDir(l.dir.path()).mkdir("disallowed.txt"));

    QVERIFY(!l.lists.AddDisallowedSite(QStringLiteral("x.com")));
    QVERIFY(!l.lists.SaveDisallowedSites());
    QCOMPARE(l.lists.List2().rowCount(), 0);
    QVERIFY(l.state.gDisallowedSites.text().isEmpty());
    QVERIFY(!l.status.shown.isEmpty());
    QVERIFY(l.status.shown.last().contains(l.disallowedPath()));

    // The allowed file is taken away behind the program's back and its folder made unusable.
    QVERIFY(QFile::remove(l.allowedPath()));
    QVERIFY(QDir(l.dir.path()).mkdir("allowed.txt"));
    l.status.shown.clear();
    QVERIFY(!Module1::DeleteButton(l.lists.allowed(), 0));
    QVERIFY(!Module1::AddButton(l.lists.allowed(), QStringLiteral("new.com")));
    QCOMPARE(l.lists.List1().stringList(), QStringList{"keep.com"});
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("keep.com\r\n"));
    QCOMPARE(l.status.shown.size(), 2);
    for (const QString& message : l.status.shown)
        QVERIFY2(message.contains(l.allowedPath()), qPrintable(message));
}

void TestSiteLists::missingFileOnLoadIsReported()
{
    Lists l;
    l.state.gAllowedSites.setText(QStringLiteral("kept.com\r\n"));
    QVERIFY(!l.lists.LoadAllowedSites());
    QCOMPARE(l.state.gAllowedSites.text(), QStringLiteral("kept.com\r\n"));
    QCOMPARE(l.status.shown.size(), 1);
    QVERIFY(l.status.shown[0].contains(l.allowedPath()));
}

void TestSiteLists::fullListRefusesAdds()
{
    Lists l;
    QStringList many;
    for (int i = 0; i < SiteListStore::MaxEntries; ++i)
        many << QStringLiteral("site%1.com").arg(i);
    writeBytes(l.allowedPath(), ListFile::serialize(many));
    QVERIFY(l.lists.LoadAllowedSites());
    const QByteArray before = readBytes(l.allowedPath());
    QVERIFY(!Module1::AddButton(l.lists.allowed(), QStringLiteral("one-more.com")));
    QCOMPARE(l.lists.List1().rowCount(), SiteListStore::MaxEntries);
    QVERIFY(!l.state.gAllowedSites.covers(u"one-more.com"));
    QCOMPARE(readBytes(l.allowedPath()), before);
    QCOMPARE(l.status.shown.size(), 1);
    QVERIFY(l.status.shown[0].contains(QLatin1String("32767")));
    // Making room lets the next add in.
    QVERIFY(Module1::DeleteButton(l.lists.allowed(), 0));
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("one-more.com")));
    QVERIFY(l.state.gAllowedSites.covers(u"one-more.com"));
}

void TestSiteLists::lineBreaksAreRefused()
{
    Lists l;
    QVERIFY(!Module1::AddButton(l.lists.allowed(), QStringLiteral("a.com\r\nb.com")));
    QVERIFY(!l.lists.AddAllowedSite(QStringLiteral("a.com\n")));
    QCOMPARE(l.lists.List1().rowCount(), 0);
    QCOMPARE(readBytes(l.allowedPath()), QByteArray("<missing>"));
    QCOMPARE(l.status.shown.size(), 2);
}

void TestSiteLists::textOutsideAsciiRoundTrips()
{
    Lists l;
    QVERIFY(Module1::AddButton(l.lists.allowed(), QStringLiteral("bücher.de")));
    DecisionState fresh;
    RecordingStatus status;
    Module1 again(fresh, l.dir.path(), status);
    QVERIFY(again.LoadAllowedSites());
    QCOMPARE(again.List1().stringList(), QStringList{"bücher.de"});
    QVERIFY(fresh.gAllowedSites.covers(u"www.BÜCHER.de"));
}

QTEST_GUILESS_MAIN(TestSiteLists)
#include "tst_sitelists.moc"
