// The About window, offscreen: the texts it takes from the version record and the identity, where its
// controls sit, its picture, and the skin step of its load.
#include "ProductRecord.h"
#include "frmAbout.h"
#include "modIdentity.h"

#include <QLabel>
#include <QTest>

#include <stdexcept>

namespace {

ProductRecord record(int major, int minor)
{
    ProductRecord r;
    r.ProductName = QStringLiteral("Gatekeeper");
    r.CompanyName = QStringLiteral("Moss & Fern");
    r.Comments = QStringLiteral("www.gatekeeper.example");
    r.FileVersion = r.ProductVersion = QStringLiteral("%1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
    r.Major = major;
    r.Minor = minor;
    r.Revision = 9;
    return r;
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void textsComeFromTheRecordCaptionFromTheIdentity();
    void versionIsMajorDotMinor_data();
    void versionIsMajorDotMinor();
    void emptyCompanyStaysEmpty();
    void controlsSitWhereTheTwipsSay();
    void pictureIsLoaded();
    void skinRunsLastAndOnlyWhenSkinned();
};

void TestAbout::textsComeFromTheRecordCaptionFromTheIdentity()
{
    ProductIdentity state;
    state.gProgramName = QStringLiteral("Tarnwick");
    frmAbout about(state, record(12, 7));
    about.Load();
    QCOMPARE(about.windowTitle(), "About Tarnwick");
    QCOMPARE(about.Label1->text(), "Gatekeeper");
    QCOMPARE(about.lblCompany->text(), "Moss & Fern");
    QCOMPARE(about.lblVersion->text(), "12.7");
    QCOMPARE(about.lblWebsite->text(), "www.gatekeeper.example");
    QCOMPARE(about.findChild<QLabel*>("Label3")->text(), "Owned By:");
}

void TestAbout::versionIsMajorDotMinor_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("shown");
    // The record's own text would be 3.00, 1.05 and 2.10.
    QTest::newRow("this release") << 3 << 0 << "3.0";
    QTest::newRow("one digit minor") << 1 << 5 << "1.5";
    QTest::newRow("two digit minor") << 2 << 10 << "2.10";
}

void TestAbout::versionIsMajorDotMinor()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QString, shown);
    ProductIdentity state;
    frmAbout about(state, record(major, minor));
    about.Load();
    QCOMPARE(about.lblVersion->text(), shown);
}

void TestAbout::emptyCompanyStaysEmpty()
{
    ProductIdentity state;
    ProductRecord r = record(3, 0);
    r.CompanyName.clear();
    frmAbout about(state, r);
    about.Load();
    QCOMPARE(about.lblCompany->text(), QString());
    QCOMPARE(about.lblWebsite->text(), "www.gatekeeper.example");
}

void TestAbout::controlsSitWhereTheTwipsSay()
{
    ProductIdentity state;
    frmAbout about(state, record(3, 0));
    about.Load();
    about.show();
    const qreal scale = about.logicalDpiX() / 96.0;
    auto px = [scale](int twips) {
        return qRound(twips * scale / 15.0);
    };
    QCOMPARE(about.size(), QSize(px(7455), px(2925)));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.font().families().contains("Verdana"));
    QCOMPARE(about.findChild<QLabel*>("Picture1")->geometry(), QRect(0, 0, px(7515), px(1035)));
    QCOMPARE(about.findChild<QLabel*>("lblWebsite")->geometry(), QRect(px(2580), px(2520), px(4635), px(315)));
    for (const char* name : {"Label2", "Label3", "Label4"}) {
        const QFont caption = about.findChild<QLabel*>(name)->font();
        QVERIFY2(caption.bold() && caption.pointSize() == 12, name);
    }
    // The statement lies below the client area, where nobody sees it.
    QLabel* statement = about.findChild<QLabel*>("Label5");
    QCOMPARE(statement->geometry(), QRect(px(120), px(3300), px(7215), px(1275)));
    QVERIFY(!about.rect().intersects(statement->geometry()));
    QVERIFY(statement->text().contains("Hollin"));
    QCOMPARE(about.SkinLabel1.size(), 1);
    QLabel* skinTemplate = about.SkinLabel1.constFirst();
    QVERIFY(skinTemplate->objectName() == "SkinLabel1" && skinTemplate->property("index").toInt() == 0);
    QVERIFY(skinTemplate->isHidden());
}

void TestAbout::pictureIsLoaded()
{
    ProductIdentity state;
    frmAbout about(state, record(3, 0));
    // Drawn at twice the box's size at 96 dpi, and scaled into it.
    QCOMPARE(about.Picture1->pixmap().size(), QSize(1002, 138));
    QVERIFY(about.Picture1->hasScaledContents());
}

void TestAbout::skinRunsLastAndOnlyWhenSkinned()
{
    ProductIdentity state;
    QStringList seen;
    auto skin = [&seen](frmAbout& window) {
        seen.append(window.lblVersion->text());
    };
    frmAbout plain(state, record(12, 7), skin);
    plain.Load();
    QCOMPARE(seen, QStringList());

    state.gUseSkin = true;
    frmAbout skinned(state, record(12, 7), skin);
    skinned.Load();
    QCOMPARE(seen, QStringList{"12.7"});

    // A skin that fails leaves the window as it is.
    frmAbout failing(state, record(12, 7), [](frmAbout&) { throw std::runtime_error("no skin folder"); });
    QTest::ignoreMessage(QtWarningMsg, "the About window goes on without its skin: no skin folder");
    failing.Load();
    QCOMPARE(failing.lblWebsite->text(), "www.gatekeeper.example");
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
