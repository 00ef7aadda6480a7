// The help window, offscreen: its controls, the help file read into it, what it says when the file is missing or
// is not rich text, the skin and topmost steps of its load, and the "Show at Startup" box stored both ways.
#include "Form8.h"
#include "MemorySettings.h"
#include "NullWindowPlacement.h"
#include "TestFiles.h"
#include "clsOnTop.h"
#include "modIdentity.h"

#include <QCheckBox>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>
#include <stdexcept>

namespace {

using Writes = QList<QPair<QString, QString>>;

struct Rig {
    QTemporaryDir folder;
    ProductIdentity identity;
    MemorySettings settings;
    NullWindowPlacement placement;
    clsOnTop onTop{placement};
    int skinned = 0;
    Form8::SkinHook skin = [this](QWidget&) {
        ++skinned;
    };

    QString shippedHelp() const { return qEnvironmentVariable("TARNWICK_SOURCE_DIR") + "/resources/Help.rtf"; }
    QString file(const QString& name, const QByteArray& bytes) const
    {
        const QString path = folder.filePath(name);
        if (!writeBytes(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    std::unique_ptr<Form8> load(const QString& helpFile)
    {
        auto form = std::make_unique<Form8>(settings, onTop, identity, helpFile, skin);
        form->Load();
        return form;
    }
};

} // namespace

class TestForm8 : public QObject {
    Q_OBJECT
private slots:
    void controlsSitWhereTheTwipsSay();
    void loadShowsTheHelpOnTop();
    void showAtStartupIsStoredBothWays();
    void storedChoiceSetsTheBox_data();
    void storedChoiceSetsTheBox();
    void missingFileIsNamedInTheWindow();
    void fileThatIsNotRichTextLeavesTheText();
    void damagedFileShowsWhatCouldBeRead();
    void skinFailureDoesNotStopTheLoad();
    void openedAndClosedByItsCaller();
};

void TestForm8::controlsSitWhereTheTwipsSay()
{
    Rig rig;
    Form8 form(rig.settings, rig.onTop, rig.identity, rig.shippedHelp());
    const qreal scale = form.logicalDpiX() / 96.0;
    auto px = [scale](int twips) {
        return qRound(twips * scale / 15.0);
    };
    QCOMPARE(form.windowTitle(), "Readme/Help");
    QCOMPARE(form.size(), QSize(px(10290), px(7920)));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.isWindow());
    QVERIFY(form.font().families().contains("Verdana"));
    auto* text = form.findChild<QTextEdit*>("rtf1");
    QVERIFY(text && text == form.rtf1);
    QCOMPARE(text->geometry(), QRect(px(0), px(0), px(10275), px(7515)));
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), "RichTextBox1");
    auto* box = form.findChild<QCheckBox*>("Check1");
    QVERIFY(box && box == form.Check1);
    QCOMPARE(box->text(), "Show at Startup");
    QCOMPARE(box->geometry(), QRect(px(60), px(7620), px(1995), px(255)));
    QVERIFY(!box->isChecked());
    // Nothing happens before the load.
    QVERIFY(rig.placement.calls().isEmpty() && rig.settings.writes.isEmpty() && rig.skinned == 0);
}

void TestForm8::loadShowsTheHelpOnTop()
{
    Rig rig;
    rig.identity.gUseSkin = true;
    auto form = rig.load(rig.shippedHelp());
    QVERIFY(form->rtf1->toPlainText().startsWith("Tarnwick Help\n"));
    QVERIFY(form->rtf1->toPlainText().contains("Allow Always"));
    QCOMPARE(rig.skinned, 1);
    QCOMPARE(rig.placement.calls().size(), 1);
    QCOMPARE(rig.placement.calls().constFirst().window, form->winId());
    QVERIFY(rig.placement.calls().constFirst().topmost);
    // The reader's load is not something the user can undo, and it starts reading at the top.
    QVERIFY(!form->rtf1->document()->isUndoAvailable());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->rtf1->textCursor().position(), 0);
    QCOMPARE(form->rtf1->verticalScrollBar()->value(), 0);
    QVERIFY(form->rtf1->verticalScrollBar()->maximum() > 0);
}

void TestForm8::showAtStartupIsStoredBothWays()
{
    Rig rig;
    auto form = rig.load(rig.shippedHelp());
    // Nothing stored: the box is checked, and checking it stores the same value.
    QVERIFY(form->Check1->isChecked());
    QCOMPARE(rig.settings.writes, (Writes{{"showHelp", "1"}}));
    form->Check1->click();
    QCOMPARE(rig.settings.values.value("showHelp"), "0");
    form->Check1->click();
    QCOMPARE(rig.settings.values.value("showHelp"), "1");
    QCOMPARE(rig.settings.writes, (Writes{{"showHelp", "1"}, {"showHelp", "0"}, {"showHelp", "1"}}));
}

void TestForm8::storedChoiceSetsTheBox_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("checked");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("anything else") << "yes" << false;
    QTest::newRow("1 with a space") << " 1" << false;
}

void TestForm8::storedChoiceSetsTheBox()
{
    QFETCH(QString, stored);
    QFETCH(bool, checked);
    Rig rig;
    rig.settings.values.insert("showHelp", stored);
    auto form = rig.load(rig.shippedHelp());
    QCOMPARE(form->Check1->isChecked(), checked);
    // An unchecked box was never toggled, so the stored text stays as it was.
    QCOMPARE(rig.settings.values.value("showHelp"), checked ? "1" : stored);
}

void TestForm8::missingFileIsNamedInTheWindow()
{
    Rig rig;
    const QString missing = rig.folder.filePath("gone/Help.rtf");
    auto form = rig.load(missing);
    QCOMPARE(form->rtf1->toPlainText(), "The help file could not be found: " + missing);
    // The load ends there: not put on top, the box neither set nor stored.
    QVERIFY(rig.placement.calls().isEmpty());
    QVERIFY(!form->Check1->isChecked());
    QVERIFY(rig.settings.writes.isEmpty());
    // A folder by that name is no help file either.
    QVERIFY(QDir().mkpath(rig.folder.filePath("folder.rtf")));
    auto folder = rig.load(rig.folder.filePath("folder.rtf"));
    QVERIFY(folder->rtf1->toPlainText().startsWith("The help file could not be found: "));
}

void TestForm8::fileThatIsNotRichTextLeavesTheText()
{
    Rig rig;
    auto form = rig.load(rig.file("Help.rtf", "Plain words, not rich text."));
    QCOMPARE(form->rtf1->toPlainText(), "RichTextBox1");
    // The steps after the reading still run.
    QCOMPARE(rig.placement.calls().size(), 1);
    QVERIFY(form->Check1->isChecked());
}

void TestForm8::damagedFileShowsWhatCouldBeRead()
{
    Rig rig;
    auto form = rig.load(rig.file("Help.rtf", R"({\rtf1{\fonttbl{\f0 Verdana;}}\f0 {\b Heading}\par Cut off her)"));
    QCOMPARE(form->rtf1->toPlainText(), "Heading\nCut off her");
    QCOMPARE(rig.placement.calls().size(), 1);
    QVERIFY(form->Check1->isChecked());
}

void TestForm8::skinFailureDoesNotStopTheLoad()
{
    Rig rig;
    rig.identity.gUseSkin = true;
    rig.skin = [](QWidget&) {
        throw std::runtime_error("no skin today");
    };
    QTest::ignoreMessage(QtWarningMsg, "the help window goes on without its skin: no skin today");
    auto form = rig.load(rig.shippedHelp());
    QVERIFY(form->rtf1->toPlainText().startsWith("Tarnwick Help"));
    QCOMPARE(rig.placement.calls().size(), 1);
    QVERIFY(form->Check1->isChecked());

    // Without the skin flag the hook is not called at all.
    Rig plain;
    plain.load(plain.shippedHelp());
    QCOMPARE(plain.skinned, 0);
}

void TestForm8::openedAndClosedByItsCaller()
{
    Rig rig;
    QPointer<Form8> help = new Form8(rig.settings, rig.onTop, rig.identity, rig.shippedHelp());
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->Load();
    help->show();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QVERIFY(help->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(help.isNull());
}

QTEST_MAIN(TestForm8)
#include "tst_form8.moc"
