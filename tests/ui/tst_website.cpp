// The built-in browser window, offscreen with a real QtWebEngine and pages served on 127.0.0.1: where its
// controls go as the window is resized, its load steps, navigation from the address box and the buttons,
// addresses it cannot use, and its close ending the program only when the main window has gone.
#include "LoopbackHttpServer.h"
#include "NullWindowPlacement.h"
#include "PanelStatusBar.h"
#include "Twips.h"
#include "WebEngineSource.h"
#include "WebEngineTesting.h"
#include "WebView.h"
#include "clsOnTop.h"
#include "frmWebsite.h"
#include "modIdentity.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <stdexcept>

namespace {

// A page load in a fresh renderer takes a second or two here; under the sanitizers, several.
constexpr int kLoadTimeoutMs = 60000;

struct Rig {
    ProductIdentity identity = LoadProductIdentity();
    bool exitPending = false;
    NullWindowPlacement placement;
    clsOnTop onTop{placement};
    QStringList calls;
    WebEnginePlugin engine;
    frmWebsite window{identity, onTop, engine, [this] { return exitPending; },
                      [this] {
                          calls << QStringLiteral("endProgram");
                      }};

    explicit Rig(const QString& webEngineFolder = QStringLiteral(TARNWICK_BINARY_DIR))
        : engine(webEngineFolder)
    {
        window.setStopSkinning([this] { calls << QStringLiteral("stopSkinning"); });
    }
};

// Serves a folder of small pages, each titled with its own name.
struct Site {
    QTemporaryDir folder;
    LoopbackHttpServer server{folder.path()};
    QStringList requests;

    Site()
    {
        // A link that fills the page, so a pointer anywhere over the pane is over it.
        QFile link(folder.filePath(QStringLiteral("link.html")));
        if (!link.open(QIODevice::WriteOnly))
            qFatal("cannot write a test page");
        link.write("<!doctype html><title>link</title><style>a{display:block;width:100vw;height:100vh}</style>"
                   "<body style=margin:0><a href=/first.html>first</a></body>");
        for (const char* name : {"first", "second"}) {
            QFile page(folder.filePath(QStringLiteral("%1.html").arg(QLatin1String(name))));
            if (!page.open(QIODevice::WriteOnly))
                qFatal("cannot write a test page");
            page.write(QByteArray("<!doctype html><title>") + name + "</title><body><p>" + name + "</p></body>");
        }
        if (!server.listen())
            qFatal("cannot serve the test pages: %s", qPrintable(server.errorString()));
        QObject::connect(&server, &LoopbackHttpServer::requestSeen,
                         [this](const QString&, const QString& target) { requests << target; });
    }
};

int px(int twips, const QWidget& widget)
{
    return Twips::toPixels(twips, Twips::scaleOf(widget));
}

// Twips rounded to pixels one by one and as a sum may differ by a pixel.
bool near(int actual, int expected)
{
    return std::abs(actual - expected) <= 1;
}

} // namespace

class TestWebsite : public QObject {
    Q_OBJECT
public:
    static void initMain() { prepareWebEngineTest(); }

private slots:
    void controlsFollowTheWindowSize_data();
    void controlsFollowTheWindowSize();
    void tinyWindowGetsDistancesNotNegativeSizes();
    void loadNamesTheSiteAndMaximises();
    void enterAndGoLoadALocalPage();
    void backForwardAndRefreshReachThePage();
    void hoveredLinkShowsInPanelOne();
    void unusableAddressChangesNothing_data();
    void unusableAddressChangesNothing();
    void closingWithExitPendingEndsTheProgram_data();
    void closingWithExitPendingEndsTheProgram();
    void withoutTheWebEngineTheWindowStillWorks();
};

void TestWebsite::controlsFollowTheWindowSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design size") << QSize(445, 520);
    QTest::newRow("wide") << QSize(1200, 700);
    QTest::newRow("narrow and tall") << QSize(520, 900);
}

void TestWebsite::controlsFollowTheWindowSize()
{
    QFETCH(QSize, size);
    Rig rig;
    frmWebsite& w = rig.window;
    w.Load();
    w.setWindowState(Qt::WindowNoState);
    w.show();
    // Several sizes in a row, so a layout that only works from the design size is caught.
    for (const QSize& step : {QSize(700, 600), size}) {
        w.resize(step);
        QTRY_COMPARE(w.size(), step);
    }

    // The status bar lies along the bottom, across the window, and its panels share it equally.
    QCOMPARE(w.StatusBar1->geometry().bottom(), w.height() - 1);
    QCOMPARE(w.StatusBar1->width(), w.width());
    QCOMPARE(w.StatusBar1->panelCount(), 2);
    // The bar lays its panels out on its next turn of the event loop.
    QTRY_VERIFY(w.StatusBar1->panel(1)->width() > w.width() / 3);
    QVERIFY(near(w.StatusBar1->panel(1)->width(), w.StatusBar1->panel(2)->width()));

    // The frame fills the window above the status bar, 300 twips short of its right edge.
    QCOMPARE(w.frmBrowser->pos(), QPoint(0, 0));
    QVERIFY(near(w.frmBrowser->height(), w.height() - w.StatusBar1->height()));
    QVERIFY(near(w.frmBrowser->width(), w.width() - px(300, w)));

    // Go follows the address box at 100 twips and ends 200 twips inside the frame.
    const QRect address = w.Text1->geometry();
    const QRect go = w.Command3->geometry();
    QCOMPARE(address.topLeft(), QPoint(px(540, w), px(240, w)));
    QVERIFY(near(go.left() - (address.right() + 1), px(100, w)));
    QCOMPARE(go.top(), address.top());
    QVERIFY(near(w.frmBrowser->width() - (go.right() + 1), px(200, w)));

    // The page pane keeps its place, 100 twips from the frame's right edge, and its bottom leaves 800 twips
    // and the status bar's height above the frame's bottom.
    const QRect pane = w.WebBrowser1->geometry();
    QCOMPARE(pane.topLeft(), QPoint(px(120, w), px(1140, w)));
    QVERIFY(near(w.frmBrowser->width() - (pane.right() + 1), px(100, w)));
    QVERIFY(near(w.frmBrowser->height() - (pane.bottom() + 1), px(800, w) + w.StatusBar1->height()));

    // The buttons keep their design places.
    QCOMPARE(w.Command4->geometry(), Twips::rect(540, 600, 1000, 435, Twips::scaleOf(w)));
    QCOMPARE(w.Command7->geometry(), Twips::rect(3780, 600, 1000, 435, Twips::scaleOf(w)));
}

void TestWebsite::tinyWindowGetsDistancesNotNegativeSizes()
{
    Rig rig;
    frmWebsite& w = rig.window;
    w.show();
    w.resize(40, 30);
    QTRY_COMPARE(w.size(), QSize(40, 30));
    // 40 pixels are 600 twips: the frame is 300 wide, the address box |300 - 540 - 300 - 795| = 1335 and the
    // pane |300 - 120 - 100| = 80. A negative size would have been flattened to nothing.
    QVERIFY(near(w.frmBrowser->width(), px(300, w)));
    QVERIFY(near(w.Text1->width(), px(1335, w)));
    QVERIFY(near(w.WebBrowser1->width(), px(80, w)));
    // The frame is as high as the window less the status bar, taken as a distance.
    QVERIFY(near(w.frmBrowser->height(), std::abs(30 - w.StatusBar1->height())));
    const int frameTwips = Twips::fromPixels(w.frmBrowser->height(), Twips::scaleOf(w));
    const int statusTwips = Twips::fromPixels(w.StatusBar1->height(), Twips::scaleOf(w));
    QVERIFY(std::abs(w.WebBrowser1->height() - px(std::abs(frameTwips - 1140 - 800 - statusTwips), w)) <= 2);
    QVERIFY(w.WebBrowser1->height() > 0);
}

void TestWebsite::loadNamesTheSiteAndMaximises()
{
    Rig rig;
    QStringList skinned;
    frmWebsite w(rig.identity, rig.onTop, rig.engine, {}, {},
                 [&skinned](QWidget& form) { skinned << form.objectName(); });
    w.Load();
    // The site comes from the identity the program read at start-up.
    QCOMPARE(w.windowTitle(), QStringLiteral("www.tarnwick.example"));
    // The view takes the address as its own once the navigation has begun.
    QTRY_COMPARE_WITH_TIMEOUT(w.WebBrowser1->url(), QUrl(QStringLiteral("http://www.tarnwick.example/")),
                              kLoadTimeoutMs);
    QCOMPARE(w.StatusBar1->panelCount(), 2);
    QCOMPARE(skinned, QStringList{QStringLiteral("frmWebsite")});
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    // On top while it loads, then back among the other windows.
    const auto& calls = rig.placement.calls();
    QCOMPARE(calls.size(), 2);
    QVERIFY(calls[0].topmost);
    QVERIFY(!calls[1].topmost);
    QCOMPARE(calls[1].window, w.winId());

    // A skin that fails leaves a window that loads all the same.
    frmWebsite failing(rig.identity, rig.onTop, rig.engine, {}, {},
                       [](QWidget&) { throw std::runtime_error("no skin"); });
    failing.Load();
    QVERIFY(failing.windowState() & Qt::WindowMaximized);
}

void TestWebsite::enterAndGoLoadALocalPage()
{
    Site site;
    Rig rig;
    frmWebsite& w = rig.window;
    w.show();

    w.Text1->setText(site.server.url(QStringLiteral("/first.html")));
    QTest::keyClick(w.Text1, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("first"), kLoadTimeoutMs);
    QCOMPARE(w.Text1->text(), site.server.url(QStringLiteral("/first.html")));

    // Go does what Enter does; an address without a scheme is completed by Qt's reading of typed input.
    const QString bare = site.server.url(QStringLiteral("/second.html")).mid(int(qstrlen("http://")));
    w.Text1->setText(bare);
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("second"), kLoadTimeoutMs);
    QCOMPARE(w.Text1->text(), site.server.url(QStringLiteral("/second.html")));
    QVERIFY(site.requests.contains(QStringLiteral("/first.html")));
    QVERIFY(site.requests.contains(QStringLiteral("/second.html")));
}

void TestWebsite::backForwardAndRefreshReachThePage()
{
    Site site;
    Rig rig;
    frmWebsite& w = rig.window;
    w.show();
    for (const char* name : {"first", "second"}) {
        w.Text1->setText(site.server.url(QStringLiteral("/%1.html").arg(QLatin1String(name))));
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QString::fromLatin1(name), kLoadTimeoutMs);
    }

    QTest::mouseClick(w.Command4, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("first"), kLoadTimeoutMs);
    QCOMPARE(w.Text1->text(), site.server.url(QStringLiteral("/first.html")));
    QTest::mouseClick(w.Command5, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("second"), kLoadTimeoutMs);

    // Refresh asks the server again; Stop with nothing loading is harmless.
    const qsizetype before = site.requests.count(QStringLiteral("/second.html"));
    QSignalSpy finished(w.WebBrowser1, &WebView::loadFinished);
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(site.requests.count(QStringLiteral("/second.html")) > before, kLoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), kLoadTimeoutMs);
    QTest::mouseClick(w.Command6, Qt::LeftButton);
    QCOMPARE(w.windowTitle(), QStringLiteral("second"));
}

void TestWebsite::hoveredLinkShowsInPanelOne()
{
    Site site;
    Rig rig;
    frmWebsite& w = rig.window;
    w.Load();
    w.setWindowState(Qt::WindowNoState);
    w.show();
    w.Text1->setText(site.server.url(QStringLiteral("/link.html")));
    QTest::keyClick(w.Text1, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("link"), kLoadTimeoutMs);
    // The page's own widget takes the pointer; moving over it a few times lets the renderer catch up.
    QWidget* surface = w.WebBrowser1->surface();
    QVERIFY(surface);
    const QString target = site.server.url(QStringLiteral("/first.html"));
    for (int i = 0; i < 50 && w.StatusBar1->panelText(1) != target; ++i) {
        QTest::mouseMove(surface, QPoint(20 + i % 5, 20));
        QTest::qWait(100);
    }
    QCOMPARE(w.StatusBar1->panelText(1), target);
}

void TestWebsite::unusableAddressChangesNothing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << QStringLiteral("   ");
    // Qt's reading of typed input turns almost anything into an address; these it refuses.
    QTest::newRow("words") << QStringLiteral("not an address");
    QTest::newRow("percent signs") << QStringLiteral("%%%");
}

void TestWebsite::unusableAddressChangesNothing()
{
    QFETCH(QString, typed);
    QVERIFY(!QUrl::fromUserInput(typed).isValid());
    Site site;
    Rig rig;
    frmWebsite& w = rig.window;
    w.show();
    w.Text1->setText(site.server.url(QStringLiteral("/first.html")));
    QTest::keyClick(w.Text1, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("first"), kLoadTimeoutMs);

    QSignalSpy started(w.WebBrowser1, &WebView::loadStarted);
    w.Text1->setText(typed);
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    QTest::keyClick(w.Text1, Qt::Key_Return);
    QTest::qWait(200);
    QVERIFY(started.isEmpty());
    QCOMPARE(w.WebBrowser1->url(), QUrl(site.server.url(QStringLiteral("/first.html"))));
    QCOMPARE(w.windowTitle(), QStringLiteral("first"));
    QVERIFY(!w.StatusBar1->panelText(1).isEmpty());

    // Still usable: the next good address loads.
    w.Text1->setText(site.server.url(QStringLiteral("/second.html")));
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("second"), kLoadTimeoutMs);
}

void TestWebsite::closingWithExitPendingEndsTheProgram_data()
{
    QTest::addColumn<bool>("exitPending");
    QTest::addColumn<bool>("useSkin");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("main window still open") << false << true << QStringList();
    QTest::newRow("pending, skinned") << true << true
                                      << QStringList{QStringLiteral("stopSkinning"), QStringLiteral("endProgram")};
    QTest::newRow("pending, no skin") << true << false << QStringList{QStringLiteral("endProgram")};
}

void TestWebsite::closingWithExitPendingEndsTheProgram()
{
    QFETCH(bool, exitPending);
    QFETCH(bool, useSkin);
    QFETCH(QStringList, calls);
    Rig rig;
    rig.window.show();
    rig.exitPending = exitPending;
    rig.identity.gUseSkin = useSkin;
    QVERIFY(rig.window.close());
    QVERIFY(!rig.window.isVisible());
    QCOMPARE(rig.calls, calls);
}

// A program whose web engine module cannot be found opens the window all the same: the page's place says why,
// the buttons do nothing harmful, and closing it still ends a program whose main window has gone.
void TestWebsite::withoutTheWebEngineTheWindowStillWorks()
{
    QTemporaryDir empty;
    Rig rig(empty.path());
    frmWebsite& w = rig.window;
    w.Load();
    w.show();
    QCOMPARE(w.windowTitle(), rig.identity.gWebsite);
    QVERIFY2(w.WebBrowser1->failure().contains(empty.path()), qPrintable(w.WebBrowser1->failure()));
    QVERIFY(!w.WebBrowser1->isOpen());
    auto* message = w.WebBrowser1->findChild<QLabel*>(QStringLiteral("webViewMessage"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->size(), w.WebBrowser1->size());

    w.Text1->setText(QStringLiteral("http://127.0.0.1:9/"));
    QTest::mouseClick(w.Command3, Qt::LeftButton);
    for (QToolButton* button : {w.Command4, w.Command5, w.Command6, w.Command7})
        QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(w.WebBrowser1->url().isEmpty());
    QCOMPARE(w.windowTitle(), rig.identity.gWebsite);

    rig.exitPending = true;
    w.close();
    QVERIFY(rig.calls.contains(QStringLiteral("endProgram")));
}

QTEST_MAIN(TestWebsite)
#include "tst_website.moc"
