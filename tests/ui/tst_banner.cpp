// The banner pane: the clip that hides the right-hand strip of the page, in twips and in pixels, and the
// shipped banner page, loaded by a real QtWebEngine view; and the pane without its web engine.
#include "BannerPane.h"
#include "WebEngineSource.h"
#include "WebEngineTesting.h"
#include "WebView.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {

// A window laid out in pixels, with a banner view and the picture that holds its place.
struct BannerWindow {
    WebEnginePlugin engine{QStringLiteral(TARNWICK_BINARY_DIR)};
    QWidget window;
    WebView* wbBanner = new WebView(&window);
    QLabel* wbPicture = new QLabel(&window);

    BannerWindow()
    {
        window.resize(520, 120);
        wbBanner->setGeometry(10, 5, 489, 63);
        wbBanner->hide();
        wbPicture->setGeometry(470, 7, 22, 61);
    }
};

QVariant evaluate(WebView& page, const QString& script)
{
    QVariant result;
    bool done = false;
    page.runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("no answer from the page to: %s", qPrintable(script));
    return result;
}

// The QtWebEngine helper processes this test has running now.
int webEngineProcesses()
{
    int count = 0;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == self.toLatin1() && line.contains("(QtWebEngineProc"))
            ++count;
    }
    return count;
}

// Whether this process has a library of that name mapped.
bool mapped(const QByteArray& library)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

} // namespace

class TestBanner : public QObject {
    Q_OBJECT
public:
    static void initMain() { prepareWebEngineTest(); }

private slots:
    // First: it checks that no web engine process has run in this test yet.
    void loadedOnlyWhileTheWindowIsShown();
    void clipCutsTheRightStrip_data();
    void clipCutsTheRightStrip();
    void shippedPageFitsWhatIsShown();
    void withoutTheWebEngineThePaneSaysWhy_data();
    void withoutTheWebEngineThePaneSaysWhy();
};

// A program waiting in the tray neither loads QtWebEngine nor runs it for its banner; shown, it loads the page;
// hidden or minimised, it gives the page back and loads it again on the next show.
void TestBanner::loadedOnlyWhileTheWindowIsShown()
{
    BannerWindow w;
    InstallBanner(w.engine, *w.wbBanner, *w.wbPicture, ScaleMode::Pixels, QStringLiteral("about:blank"));
    auto* pane = w.wbBanner->findChild<BannerPane*>();
    QVERIFY(pane);
    // Nothing is asked of the pane until the window shows; this gives it the time to go wrong.
    QTest::qWait(500);
    QVERIFY(!pane->loaded());
    QCOMPARE(webEngineProcesses(), 0);
    QVERIFY(!mapped("libQt6WebEngineCore"));

    for (int show = 0; show < 2; ++show) {
        QSignalSpy loaded(w.wbBanner, &WebView::loadFinished);
        w.window.show();
        QTRY_VERIFY(pane->loaded());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
        QCOMPARE(loaded.first().first().toBool(), true);
        QCOMPARE(w.wbBanner->url(), QUrl("about:blank"));
        QVERIFY(mapped("libQt6WebEngineCore"));
        QVERIFY(webEngineProcesses() > 0);

        if (show == 0)
            w.window.hide();
        else
            w.window.showMinimized();
        QVERIFY(!pane->loaded());
        QVERIFY(!w.wbBanner->surface());
    }
    w.window.showNormal();
    QTRY_VERIFY(pane->loaded());
}

void TestBanner::clipCutsTheRightStrip_data()
{
    QTest::addColumn<ScaleMode>("mode");
    QTest::addColumn<int>("clip");
    QTest::newRow("pixels") << ScaleMode::Pixels << 20;
    // 280 twips at 96 dpi.
    QTest::newRow("twips") << ScaleMode::Twips << 19;
}

void TestBanner::clipCutsTheRightStrip()
{
    QFETCH(ScaleMode, mode);
    QFETCH(int, clip);
    BannerWindow w;
    QCOMPARE(w.window.logicalDpiX(), 96);
    w.window.show();

    QWidget* picBox = InstallBanner(w.engine, *w.wbBanner, *w.wbPicture, mode, QStringLiteral("about:blank"));

    QVERIFY(picBox);
    QCOMPARE(picBox->objectName(), "picBox");
    QCOMPARE(picBox->parentWidget(), &w.window);
    QCOMPARE(picBox->geometry(), QRect(10, 5, 489 - clip, 63));
    QCOMPARE(qobject_cast<QFrame*>(picBox)->frameShape(), QFrame::NoFrame);
    QCOMPARE(picBox->property("controlKind").toString(), "PictureBox");
    // The page keeps the view's full width; the clip shows all of it but the strip on the right.
    QCOMPARE(w.wbBanner->parentWidget(), picBox);
    QCOMPARE(w.wbBanner->geometry(), QRect(0, 0, 489, 63));
    QVERIFY(picBox->isVisible());
    QVERIFY(!w.wbPicture->isVisible());
    // The page comes once the show is over.
    QTRY_VERIFY(w.wbBanner->isVisible());
    QCOMPARE(w.wbBanner->requestedUrl(), QUrl("about:blank"));
}

void TestBanner::shippedPageFitsWhatIsShown()
{
    const ProductIdentity state = LoadProductIdentity();
    const QUrl page(state.gBannerUrl);
    QVERIFY2(page.isLocalFile() && QFile::exists(page.toLocalFile()), qPrintable(state.gBannerUrl));

    BannerWindow w;
    w.window.show();
    QSignalSpy loaded(w.wbBanner, &WebView::loadFinished);
    QWidget* picBox = InstallBanner(w.engine, *w.wbBanner, *w.wbPicture, ScaleMode::Twips, state.gBannerUrl);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(w.wbBanner->title(), "Tarnwick");

    WebView& banner = *w.wbBanner;
    // Laid out at the view's full width, not at the clip's.
    QCOMPARE(evaluate(banner, "document.documentElement.clientWidth").toInt(), 489);
    // The picture came along, and every tip lies in the visible part, none cut at the bottom or the right.
    QVERIFY(evaluate(banner, "document.images[0].complete && document.images[0].naturalWidth > 0").toBool());
    const QVariantList tips =
        evaluate(banner, "Array.from(document.querySelectorAll('.tip')).map(t => ["
                         "  t.scrollHeight <= t.clientHeight,"
                         "  Math.max(...Array.from(t.children).map(c => c.getBoundingClientRect().right)),"
                         "  t.getBoundingClientRect().bottom])")
            .toList();
    QCOMPARE(tips.size(), 4);
    for (const QVariant& tip : tips) {
        const QVariantList measures = tip.toList();
        QVERIFY2(measures.value(0).toBool(), "a tip is taller than the pane");
        QVERIFY(measures.value(1).toDouble() <= picBox->width());
        QVERIFY(measures.value(2).toDouble() <= 63);
    }
}

void TestBanner::withoutTheWebEngineThePaneSaysWhy_data()
{
    QTest::addColumn<QByteArray>("moduleFile");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not a library") << QByteArray("not a shared library");
}

// A program whose web engine module is missing or broken shows, in the banner's place, why there is no page.
void TestBanner::withoutTheWebEngineThePaneSaysWhy()
{
    QFETCH(QByteArray, moduleFile);
    QTemporaryDir folder;
    // Either way the file looked for is named.
    const QString said = folder.path();
    if (!moduleFile.isNull()) {
        QFile module(folder.filePath(WebEnginePlugin::fileName()));
        QVERIFY(module.open(QIODevice::WriteOnly));
        QVERIFY(module.write(moduleFile) == moduleFile.size());
    }
    WebEnginePlugin engine(folder.path());
    QWidget window;
    window.resize(520, 120);
    auto* wbBanner = new WebView(&window);
    wbBanner->setGeometry(10, 5, 489, 63);
    auto* wbPicture = new QLabel(&window);

    // The skin knows it as a web browser control, page or not.
    QCOMPARE(controlKind(*wbBanner), "WebBrowser");
    InstallBanner(engine, *wbBanner, *wbPicture, ScaleMode::Pixels, QStringLiteral("about:blank"));
    window.show();
    QTRY_VERIFY(wbBanner->isVisible());
    const auto* pane = wbBanner->findChild<BannerPane*>();
    QVERIFY(!pane->loaded());
    QVERIFY2(wbBanner->failure().startsWith(u"Web pages cannot be shown here."), qPrintable(wbBanner->failure()));
    QVERIFY2(wbBanner->failure().contains(said), qPrintable(wbBanner->failure()));
    auto* message = wbBanner->findChild<QLabel*>(QStringLiteral("webViewMessage"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->geometry(), wbBanner->rect());
    // A view without a page takes what a page would be asked for, and answers empty.
    wbBanner->load(QUrl("about:blank"));
    wbBanner->reload();
    QVERIFY(wbBanner->url().isEmpty());
    QVERIFY(!wbBanner->runJavaScript(QStringLiteral("1"), [](const QVariant&) {}));

    // Shown again, it says the same, and hidden, the pane hides.
    window.hide();
    QVERIFY(!wbBanner->isVisible());
    window.show();
    QTRY_VERIFY(wbBanner->isVisible());
    QVERIFY(wbBanner->failure().contains(said));
}

QTEST_MAIN(TestBanner)
#include "tst_banner.moc"
