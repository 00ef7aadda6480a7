// The program's own skin, offscreen: the shipped skin folder, every window skinned as it loads (labels, colours,
// painting), the colour pass by control kind, skin labels over plain ones, the way back when there is no skin yet,
// and application-wide skinning given back at the end. Runs at 96 dpi and, as tst_skin_hidpi, at 192.
#include "BlockingEngine.h"
#include "Form1.h"
#include "Form3.h"
#include "Form8.h"
#include "MainWindowDoubles.h"
#include "MemoryRegistry.h"
#include "MemorySettings.h"
#include "NullSoundService.h"
#include "NullWindowPlacement.h"
#include "ProductRecord.h"
#include "ResourceLocator.h"
#include "SettingsPassThrough.h"
#include "Skin.h"
#include "SkinLabel.h"
#include "SkinManager.h"
#include "Twips.h"
#include "UnansweredPrompt.h"
#include "WebEngineSource.h"
#include "WebEngineTesting.h"
#include "clsOnTop.h"
#include "frmAbout.h"
#include "frmSplash.h"
#include "frmWebsite.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

QString shippedSkin()
{
    return ResourceLocator().path(QStringLiteral("skin"));
}

// The start of the program as far as the skin goes: the splash window with its skin, and the program's skinning
// fed by it. Loading the main window is only counted.
struct Program {
    // The banner pane stays out: it shows a page, which is not what these tests look at.
    ProductIdentity state = withoutBanner(LoadProductIdentity());
    int mainWindowLoads = 0;
    int splashLoads = 0;
    std::unique_ptr<frmSplash> splash;
    modSkin skin{[this] {
        ++splashLoads;
        splash->LoadHidden();
    }};

    explicit Program(bool splashSkins = true)
    {
        frmSplash::SkinStarter starter;
        if (splashSkins)
            starter = [this](frmSplash& window) {
                skin.BeginSkinning(window.skn, window);
            };
        splash = std::make_unique<frmSplash>(
            state,
            [this]() -> QWidget* {
                ++mainWindowLoads;
                return nullptr;
            },
            starter);
    }
    // As start-up has it once the main window is up: the splash loaded, its timer stopped.
    void started()
    {
        splash->Load();
        splash->Timer2.stop();
    }
    static ProductIdentity withoutBanner(ProductIdentity identity)
    {
        identity.gShowBanner = false;
        return identity;
    }
    std::function<void(QWidget&)> applySkin()
    {
        return [this](QWidget& window) {
            skin.ApplySkin(window);
        };
    }
};

// The main window with stand-ins for what lies outside it.
struct MainWindow {
    QTemporaryDir home;
    MemorySettings settings;
    MemoryRegistry registry;
    NullWindowPlacement placement;
    clsOnTop onTop{placement};
    NullSoundService soundService;
    UnansweredPrompt prompt;
    QString lines;
    QTextStream linesOut{&lines};
    ShellDouble shell;
    std::unique_ptr<BlockingEngine> engine;
    std::unique_ptr<Form1> form;

    Form1& load(Program& program)
    {
        shell.applySkin = program.applySkin();
        engine = std::make_unique<BlockingEngine>(
            BlockingEngine::Setup{std::make_unique<SettingsPassThrough>(settings), home.filePath("data"), QString()},
            soundService, prompt, linesOut);
        form = std::make_unique<Form1>(
            Form1::Services{*engine, program.state, registry, placement, shell, home.filePath("tarnwick")});
        QString error;
        if (!form->Load(&error))
            qFatal("the main window did not load: %s", qPrintable(error));
        return *form;
    }
};

QWidget* pictureBox(QWidget* control)
{
    control->setProperty("controlKind", QStringLiteral("PictureBox"));
    return control;
}

bool isSkinned(const QWidget& window, const Skin& skin)
{
    return window.styleSheet() == skin.styleSheet() &&
           window.palette().color(QPalette::Window) == skin.palette().color(QPalette::Window);
}

// The names of the plain labels the array's elements 1, 2, ... lie over (same container, place and text), in
// order; "?" for an element over none. Fails the test when the indexes are not 0, 1, 2, ...
// A control array of a window whose controls are its own: its elements in the order of their index.
SkinLabelArray controlArray(QWidget& window, const char* name)
{
    SkinLabelArray array = window.findChildren<QLabel*>(QString::fromLatin1(name));
    std::sort(array.begin(), array.end(), [](const QLabel* a, const QLabel* b) {
        return a->property("index").toInt() < b->property("index").toInt();
    });
    return array;
}

QStringList overlaid(const SkinLabelArray& array)
{
    QStringList names;
    for (int i = 0; i < array.size(); ++i) {
        const QLabel* element = array[i];
        if (element->property("index").toInt() != i || element->objectName() != array[0]->objectName())
            return {QStringLiteral("element %1 is numbered %2").arg(i).arg(element->property("index").toInt())};
        if (i == 0)
            continue;
        QString name = QStringLiteral("?");
        for (const QLabel* label : element->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (controlKind(*label) == u"Label" && label->geometry() == element->geometry() &&
                label->text() == element->text() && label->font() == element->font())
                name = label->objectName();
        }
        names.append(name);
    }
    return names;
}

// The colour seen at a point of a control in a picture of its window.
QColor pixelAt(const QImage& shot, QWidget& window, const QWidget& control, const QPoint& point)
{
    return shot.pixelColor((QPointF(control.mapTo(&window, point)) * shot.devicePixelRatio()).toPoint());
}

} // namespace

class TestSkin : public QObject {
    Q_OBJECT
public:
    static void initMain() { prepareWebEngineTest(); }

private slots:
    void shippedSkinIsWhole();
    void unreadableSkinSaysWhy_data();
    void unreadableSkinSaysWhy();
    void everyWindowIsSkinnedOnLoad();
    void colourPassByKind();
    void sameContainerLeavesOtherFramesPlain();
    void skinLabelHidesThePlainLabel();
    void recoveryLoadsTheSplashHidden();
    void recoveryGivesUpAfterOneTry();
    void stopSkinningGivesBackTheApplication();
};

void TestSkin::shippedSkinIsWhole()
{
    const Skin skin(shippedSkin());
    QVERIFY2(skin.isLoaded(), qPrintable(skin.errorString()));
    const SkinColors colors = skin.colors();
    for (const QColor& colour : {colors.A, colors.B, colors.C, colors.D})
        QVERIFY(colour.isValid());
    // Every picture the style sheet names is there, with its twice-as-large twin for dense screens.
    QVERIFY(!skin.images().isEmpty());
    for (const QString& picture : skin.images()) {
        const QSize size = QImageReader(picture).size();
        QVERIFY2(size.isValid(), qPrintable(picture));
        const QFileInfo info(picture);
        const QString twin = info.path() + u'/' + info.completeBaseName() + QStringLiteral("@2x.") + info.suffix();
        QCOMPARE(QImageReader(twin).size(), size * 2);
        QVERIFY(skin.styleSheet().contains(QStringLiteral("url(\"%1\")").arg(picture)));
    }
    QVERIFY(!skin.styleSheet().contains(QStringLiteral("url(images/")));
}

void TestSkin::unreadableSkinSaysWhy_data()
{
    QTest::addColumn<QString>("colors"); // null: no skin.ini
    QTest::addColumn<QString>("said");
    const QString colors = "[Colors]\nA=#FDFBF6\nB=#0A3A45\nC=#0F4E5A\nD=#F0A03C\n[Palette]\nWindow=#EFE9DC\n";
    QTest::newRow("no colours file") << QString() << "skin.ini is missing";
    QTest::newRow("a colour that is none") << QString(colors).replace("C=#0F4E5A", "C=tealish") << "no colour for C";
    QTest::newRow("no window colour") << QString(colors).remove("Window=#EFE9DC\n") << "no colour for Window";
    QTest::newRow("a palette role that is none") << colors + "Windw=#EFE9DC\n"
                                                 << "no palette role Windw";
}

void TestSkin::unreadableSkinSaysWhy()
{
    QFETCH(QString, colors);
    QFETCH(QString, said);
    QTemporaryDir folder;
    QFile sheet(folder.filePath("skin.qss")), ini(folder.filePath("skin.ini"));
    QVERIFY(sheet.open(QIODevice::WriteOnly) && sheet.write("QGroupBox { border: 1px solid teal; }") > 0);
    if (!colors.isNull())
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(colors.toUtf8()) > 0);
    sheet.close();
    ini.close();

    const Skin skin(folder.path());
    QVERIFY2(skin.errorString().contains(said), qPrintable(skin.errorString()));
    QWidget window;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, skin.SkinWindow(window));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, skin.colors());
    QVERIFY(window.styleSheet().isEmpty());
    SkinManager manager;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, manager.AttachSkin(skin));
    QVERIFY(Skin(folder.filePath("nowhere")).errorString().contains(folder.filePath("nowhere")));
}

void TestSkin::everyWindowIsSkinnedOnLoad()
{
    Program program;
    program.started();
    QVERIFY(program.skin.gSkin == &program.splash->skn);
    const Skin& skin = program.splash->skn;
    QVERIFY2(skin.isLoaded(), qPrintable(skin.errorString()));
    const SkinColors colors = skin.colors();
    // The splash window has no label step.
    QVERIFY(isSkinned(*program.splash, skin));
    QVERIFY(program.splash->findChildren<SkinLabel*>().isEmpty());

    // Main window: the same-container variant for both arrays at once, one per frame.
    MainWindow main;
    Form1& form = main.load(program);
    QVERIFY(isSkinned(form, skin));
    QCOMPARE(overlaid(controlArray(form, "SkinLabel1")),
             QStringList({"Label5", "Label6", "Label4", "Label2", "Label7", "Label8"}));
    QCOMPARE(overlaid(controlArray(form, "SkinLabel2")), QStringList({"Label3", "Label1"}));
    auto* List1 = form.findChild<QAbstractItemView*>("List1");
    auto* Text1 = form.findChild<QWidget*>("Text1");
    auto* Frame1 = form.findChild<QWidget*>("Frame1");
    QCOMPARE(List1->palette().color(QPalette::Base), colors.A);
    QCOMPARE(form.findChild<QWidget*>("Text2")->palette().color(QPalette::Text), colors.B);
    QCOMPARE(form.findChild<QWidget*>("wbPicture")->palette().color(QPalette::Window), colors.C);
    // What the colour pass gave is what is seen: the style sheet paints nothing over it.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage shot = form.grab().toImage();
    QCOMPARE(pixelAt(shot, form, *List1->viewport(), List1->viewport()->rect().center()), colors.A);
    QCOMPARE(pixelAt(shot, form, *Text1, Text1->rect().center()), colors.A);
    const qreal scale = Twips::scaleOf(form);
    const QPoint belowTheLists(Twips::toPixels(1000, scale), Twips::toPixels(3580, scale));
    QCOMPARE(pixelAt(shot, form, *Frame1, belowTheLists), skin.palette().color(QPalette::Window));

    // Setup prompt: same-container variant, the template on the window itself.
    Form3 prompt(QStringLiteral("ads.example"), program.state, main.engine->lists(), main.onTop, 0,
                 program.applySkin());
    prompt.Load();
    QVERIFY(isSkinned(prompt, skin));
    QCOMPARE(overlaid(prompt.SkinLabel1), QStringList({"Label1", "Label3"}));
    QCOMPARE(prompt.Command1->palette().color(QPalette::Button), colors.A);

    // Help window: no label step.
    Form8 help(main.settings, main.onTop, program.state, ResourceLocator().path("Help.rtf"), program.applySkin());
    help.Load();
    QVERIFY(isSkinned(help, skin));
    QVERIFY(help.findChildren<SkinLabel*>().isEmpty());

    // About window: every plain label, and only those; its own skinnable texts and its picture are none.
    frmAbout about(program.state, ProductRecord::compiled(), program.applySkin());
    about.Load();
    QVERIFY(isSkinned(about, skin));
    QCOMPARE(overlaid(about.SkinLabel1), QStringList({"Label2", "Label3", "Label4", "Label5"}));
    QCOMPARE(about.Picture1->palette().color(QPalette::Window), colors.C);
    QVERIFY(about.Picture1->autoFillBackground());

    // Built-in browser window: same-container variant, the template in the browser frame.
    WebEnginePlugin engine(QStringLiteral(TARNWICK_BINARY_DIR));
    frmWebsite website(program.state, main.onTop, engine, {}, {}, program.applySkin());
    website.Load();
    QVERIFY(isSkinned(website, skin));
    QCOMPARE(overlaid(website.SkinLabel1), QStringList{"Label5"});
    QCOMPARE(website.Text1->palette().color(QPalette::Base), colors.A);

    // None of this restarted the start-up.
    QCOMPARE(program.mainWindowLoads, 0);
    QCOMPARE(program.splashLoads, 0);
}

void TestSkin::colourPassByKind()
{
    using Make = std::function<QWidget*(QWidget*)>;
    const QColor a("#112233"), b("#445566"), c("#778899");
    const struct {
        Make make;
        QString kind;
        QList<QPair<QPalette::ColorRole, QColor>> colours;
    } cases[] = {
        {[](QWidget* p) { return new QPushButton(p); }, "CommandButton", {{QPalette::Button, a}}},
        {[](QWidget* p) { return new QToolButton(p); }, "CommandButton", {{QPalette::Button, a}}},
        {[](QWidget* p) { return new QLineEdit(p); }, "TextBox", {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return new QLineEdit(new QGroupBox(p)); },
         "TextBox",
         {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return new QComboBox(p); },
         "ComboBox",
         {{QPalette::Base, a}, {QPalette::Text, b}, {QPalette::Button, a}, {QPalette::ButtonText, b}}},
        {[](QWidget* p) { return new QListView(p); }, "ListBox", {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return new QListWidget(p); }, "ListBox", {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return new QTreeView(p); }, "ListView", {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return new QTableView(p); }, "ListView", {{QPalette::Base, a}, {QPalette::Text, b}}},
        {[](QWidget* p) { return pictureBox(new QLabel(p)); }, "PictureBox", {{QPalette::Window, c}}},
        {[](QWidget* p) { return pictureBox(new QWidget(p)); }, "PictureBox", {{QPalette::Window, c}}},
        {[](QWidget* p) { return new QCheckBox(p); }, "CheckBox", {}},
        {[](QWidget* p) { return new QRadioButton(p); }, "OptionButton", {}},
        {[](QWidget* p) { return new QLabel(p); }, "Label", {}},
        {[](QWidget* p) { return new QTextEdit(p); }, "RichTextBox", {}},
        {[](QWidget* p) { return new SkinLabel(p); }, "SkinLabel", {}},
    };
    const QPalette::ColorRole roles[] = {QPalette::Window, QPalette::Base, QPalette::Text, QPalette::Button,
                                         QPalette::ButtonText};
    for (const auto& sample : cases) {
        QWidget form;
        QWidget* control = sample.make(&form);
        QCOMPARE(controlKind(*control), sample.kind);
        SetSkinColors(form, a, b, c, QColor("#AABBCC"));
        for (const QPalette::ColorRole role : roles) {
            const auto given = std::find_if(sample.colours.begin(), sample.colours.end(),
                                            [role](const auto& colour) { return colour.first == role; });
            const bool set = control->palette().isBrushSet(QPalette::Active, role);
            QVERIFY2(set == (given != sample.colours.end()), qPrintable(sample.kind + QString::number(role)));
            if (set)
                QCOMPARE(control->palette().color(role), given->second);
        }
        QCOMPARE(control->autoFillBackground(), sample.kind == u"PictureBox" || sample.kind == u"SkinLabel");
    }
}

void TestSkin::sameContainerLeavesOtherFramesPlain()
{
    QWidget form;
    auto* options = new QGroupBox(&form);
    auto* sites = new QGroupBox(&form);
    auto label = [](QWidget* container, const char* name, const QRect& place) {
        auto* made = new QLabel(QString::fromLatin1(name), container);
        made->setObjectName(QString::fromLatin1(name));
        made->setGeometry(place);
        return made;
    };
    SkinLabelArray optionLabels{new SkinLabel(options)};
    optionLabels[0]->setObjectName("SkinLabel1");
    optionLabels[0]->setProperty("index", 0);
    label(options, "first", QRect(8, 16, 200, 17));
    QLabel* second = label(options, "second", QRect(8, 36, 200, 17));
    QFont heading = second->font();
    heading.setBold(true);
    second->setFont(heading);
    second->setToolTip("what the second option does");
    QLabel* hidden = label(options, "hidden", QRect(8, 56, 200, 17));
    hidden->hide();
    label(sites, "inAnotherFrame", QRect(8, 16, 200, 17));
    label(&form, "onTheWindow", QRect(8, 300, 200, 17));

    ReplaceLabels(form, optionLabels, LabelScope::SameContainer);
    QCOMPARE(overlaid(optionLabels), QStringList({"first", "second", "hidden"}));
    QCOMPARE(optionLabels[2]->toolTip(), second->toolTip());
    QVERIFY(!optionLabels[1]->isHidden());
    QVERIFY(optionLabels[3]->isHidden());
    // The labels elsewhere keep their plain look: nothing lies over them.
    QVERIFY(sites->findChildren<SkinLabel*>().isEmpty());
    QCOMPARE(form.findChildren<SkinLabel*>(Qt::FindDirectChildrenOnly).size(), 0);

    // Two arrays, as the main window has: each takes its own frame's labels; the one on the window stays plain.
    SkinLabelArray siteLabels{new SkinLabel(sites)};
    siteLabels[0]->setObjectName("SkinLabel2");
    siteLabels[0]->setProperty("index", 0);
    SkinLabelArray moreOptions{optionLabels[0]};
    ReplaceLabels(form, moreOptions, LabelScope::SameContainer);
    ReplaceLabels(form, siteLabels, LabelScope::SameContainer);
    QCOMPARE(overlaid(siteLabels), QStringList{"inAnotherFrame"});
    QCOMPARE(moreOptions.size(), 4);
    QCOMPARE(form.findChildren<SkinLabel*>(Qt::FindDirectChildrenOnly).size(), 0);

    // Every label of the window: those on the window itself too, numbered on from the array's highest.
    ReplaceLabels(form, optionLabels, LabelScope::AllLabels);
    QCOMPARE(overlaid(optionLabels),
             QStringList({"first", "second", "hidden", "first", "second", "hidden", "inAnotherFrame", "onTheWindow"}));

    // An array without its template is a mistake of the window, said as one.
    SkinLabelArray empty;
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ReplaceLabels(form, empty, LabelScope::AllLabels));
}

void TestSkin::skinLabelHidesThePlainLabel()
{
    Program program;
    program.started();
    QWidget form;
    form.resize(320, 120);
    auto* frame = new QGroupBox("Frame", &form);
    frame->setGeometry(8, 8, 300, 100);
    auto* plain = new QLabel("Plain words", frame);
    plain->setGeometry(12, 30, 250, 20);
    // Drawn across the end of the caption, as the built-in browser window's address box is.
    auto* box = new QLineEdit("an address", frame);
    box->setGeometry(150, 28, 140, 24);
    SkinLabelArray labels{new SkinLabel(frame)};
    labels[0]->setProperty("index", 0);
    labels[0]->hide();
    ReplaceLabels(form, labels, LabelScope::SameContainer);
    program.skin.ApplySkin(form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Other words beneath: if any of them showed, the window would not look as it does without them.
    plain->setText("WWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    const QImage over = form.grab().toImage();
    plain->hide();
    const QImage alone = form.grab().toImage();
    QCOMPARE(over, alone);
    // And the skin label itself is seen, under the box and not over it.
    labels[1]->hide();
    const QImage without = form.grab().toImage();
    QVERIFY(without != alone);
    const QRect boxArea(QPointF(box->mapTo(&form, QPoint()) * alone.devicePixelRatio()).toPoint(),
                        box->size() * alone.devicePixelRatio());
    QCOMPARE(alone.copy(boxArea), without.copy(boxArea));
}

void TestSkin::recoveryLoadsTheSplashHidden()
{
    Program program;
    QListView list;
    program.skin.ApplySkin(list);
    QCOMPARE(program.splashLoads, 1);
    QVERIFY(program.skin.gSkin == &program.splash->skn);
    QVERIFY(isSkinned(list, program.splash->skn));
    QVERIFY(program.splash->isLoaded());
    QVERIFY(!program.splash->Timer2.isActive());
    // Longer than the splash's 75 ticks: the start-up it began stays stopped and the splash unseen.
    QTest::qWait(400);
    QCOMPARE(program.mainWindowLoads, 0);
    QVERIFY(!program.splash->isVisible());
    // Skinning started application-wide on the way, as the splash's load does.
    QCOMPARE(QApplication::palette().color(QPalette::Window), program.splash->skn.palette().color(QPalette::Window));
}

void TestSkin::recoveryGivesUpAfterOneTry()
{
    // The splash loaded long ago without giving its skin, its timer stopped: loading it again does nothing.
    Program program(false);
    program.started();
    QWidget window;
    auto* text = new QLineEdit(&window);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, program.skin.ApplySkin(window));
    QCOMPARE(program.splashLoads, 1);
    QVERIFY(window.styleSheet().isEmpty());
    QVERIFY(!text->testAttribute(Qt::WA_SetPalette));
    QVERIFY(!program.splash->Timer2.isActive());
    QVERIFY(!program.splash->isVisible());
    QCOMPARE(program.mainWindowLoads, 0);

    // A window's load goes on without it.
    ProductIdentity state;
    state.gUseSkin = true;
    frmAbout about(state, ProductRecord::compiled(), [&program](frmAbout& w) { program.skin.ApplySkin(w); });
    QTest::ignoreMessage(QtWarningMsg,
                         "the About window goes on without its skin: there is no skin: the splash window has not "
                         "loaded");
    about.Load();
    QCOMPARE(about.SkinLabel1.size(), 5);
    QCOMPARE(program.splashLoads, 2);
}

void TestSkin::stopSkinningGivesBackTheApplication()
{
    // Something of the application's own to give back: another style and another window colour.
    QApplication::setStyle(QStyleFactory::create("Windows"));
    QPalette own = QApplication::palette();
    own.setColor(QPalette::Window, QColor("#123456"));
    QApplication::setPalette(own);
    const QPalette before = QApplication::palette();
    const Skin skin(shippedSkin());
    {
        SkinManager manager;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, manager.StartSkinning());
        manager.AttachSkin(skin);
        manager.StartSkinning();
        QVERIFY(manager.isSkinning());
        QCOMPARE(QApplication::palette().color(QPalette::Window), skin.palette().color(QPalette::Window));
        QCOMPARE(QApplication::style()->name().toLower(), "fusion");

        // Started twice, the first start's "before" is what comes back.
        manager.StartSkinning();
        manager.StopSkinning();
        QVERIFY(!manager.isSkinning());
        QCOMPARE(QApplication::palette(), before);
        QCOMPARE(QApplication::style()->name().toLower(), "windows");
        // Stopping again changes nothing.
        manager.StopSkinning();
        QCOMPARE(QApplication::palette(), before);

        manager.StartSkinning();
    }
    // The manager's end stops skinning too.
    QCOMPARE(QApplication::palette(), before);
    QCOMPARE(QApplication::style()->name().toLower(), "windows");
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
