// The banner pane: the clip that hides the right-hand strip of the page, in twips and in pixels, and the
// shipped banner page, loaded by a real QtWebEngine view.
#include "BannerPane.h"
#include "WebEngineTesting.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

// A window laid out in pixels, with a banner view and the picture that holds its place.
struct BannerWindow {
    QWidget window;
    QWebEngineView* wbBanner = new QWebEngineView(&window);
    QLabel* wbPicture = new QLabel(&window);

    BannerWindow()
    {
        window.resize(520, 120);
        wbBanner->setGeometry(10, 5, 489, 63);
        wbBanner->hide();
        wbPicture->setGeometry(470, 7, 22, 61);
    }
};

QVariant evaluate(QWebEnginePage& page, const QString& script)
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
};

// A program waiting in the tray runs no web engine for its banner; shown, it loads the page; hidden or
// minimised, it gives the page back and loads it again on the next show.
void TestBanner::loadedOnlyWhileTheWindowIsShown()
{
    BannerWindow w;
    InstallBanner(*w.wbBanner, *w.wbPicture, ScaleMode::Pixels, QStringLiteral("about:blank"));
    auto* pane = w.wbBanner->findChild<BannerPane*>();
    QVERIFY(pane);
    QTest::qWait(500);
    QCOMPARE(pane->page(), nullptr);
    QCOMPARE(webEngineProcesses(), 0);

    for (int show = 0; show < 2; ++show) {
        w.window.show();
        QTRY_VERIFY(pane->page());
        QSignalSpy loaded(pane->page(), &QWebEnginePage::loadFinished);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
        QCOMPARE(w.wbBanner->page(), pane->page());
        QCOMPARE(pane->page()->url(), QUrl("about:blank"));
        QVERIFY(webEngineProcesses() > 0);

        if (show == 0)
            w.window.hide();
        else
            w.window.showMinimized();
        QCOMPARE(pane->page(), nullptr);
    }
    w.window.showNormal();
    QTRY_VERIFY(pane->page());
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

    QWidget* picBox = InstallBanner(*w.wbBanner, *w.wbPicture, mode, QStringLiteral("about:blank"));

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
    QCOMPARE(w.wbBanner->page()->requestedUrl(), QUrl("about:blank"));
}

void TestBanner::shippedPageFitsWhatIsShown()
{
    const ProductIdentity state = LoadProductIdentity();
    const QUrl page(state.gBannerUrl);
    QVERIFY2(page.isLocalFile() && QFile::exists(page.toLocalFile()), qPrintable(state.gBannerUrl));

    BannerWindow w;
    w.window.show();
    QSignalSpy loaded(w.wbBanner, &QWebEngineView::loadFinished);
    QWidget* picBox = InstallBanner(*w.wbBanner, *w.wbPicture, ScaleMode::Twips, state.gBannerUrl);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 30000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(w.wbBanner->title(), "Tarnwick");

    QWebEnginePage& banner = *w.wbBanner->page();
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

QTEST_MAIN(TestBanner)
#include "tst_banner.moc"
