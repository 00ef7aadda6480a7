// The rich-text reader: what each supported construct turns into, what is skipped, the limits that hold on
// hostile input, and the shipped help file.
#include "RtfReader.h"
#include "TestFiles.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

struct Run {
    QString text;
    QTextCharFormat format;
};

// The document's text runs, in order, across its paragraphs.
QList<Run> runs(const QTextDocument& document)
{
    QList<Run> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            found.append({it.fragment().text(), it.fragment().charFormat()});
    }
    return found;
}

Run runWith(const QTextDocument& document, const QString& text)
{
    for (const Run& run : runs(document)) {
        if (run.text == text)
            return run;
    }
    qWarning("no run reads %s", qPrintable(text));
    return {};
}

QStringList paragraphs(const QTextDocument& document)
{
    QStringList texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        texts.append(block.text());
    return texts;
}

// The text as the blocks hold it: unlike toPlainText, no-break spaces and line separators stay what they are.
QString textOf(const QTextDocument& document)
{
    return paragraphs(document).join(u'\n');
}

QTextBlockFormat paragraphFormat(const QTextDocument& document, int index)
{
    return document.findBlockByNumber(index).blockFormat();
}

// Reads a whole document and insists it was read without a problem.
bool readAll(const QByteArray& rtf, QTextDocument& document)
{
    QString error;
    const bool read = RtfReader::read(rtf, document, &error);
    if (!read)
        qWarning("not read: %s", qPrintable(error));
    return read;
}

} // namespace

class TestRtfReader : public QObject {
    Q_OBJECT
private slots:
    void characterRunsKeepTheirText();
    void escapesAreDecoded_data();
    void escapesAreDecoded();
    void fontsSizesAndColours();
    void paragraphFormats();
    void wordPadAndWordListsShowTheirBullets();
    void nonTextDestinationsAreSkipped();
    void depthIsCapped();
    void textIsCapped();
    void truncatedInputKeepsWhatWasRead();
    void notRichTextLeavesTheDocumentAlone_data();
    void notRichTextLeavesTheDocumentAlone();
    void hostileInputEndsCleanly_data();
    void hostileInputEndsCleanly();
    void theShippedHelpFileReads();
};

void TestRtfReader::characterRunsKeepTheirText()
{
    QTextDocument document;
    QVERIFY(readAll(
        R"({\rtf1 plain \b bold\b0  \i italic{\b  both}\i0  {\ul under}\ulnone  {\strike gone}{\super 2}\plain\b0 end})",
        document));
    QCOMPARE(document.toPlainText(), "plain bold italic both under gone2end");
    QCOMPARE(runWith(document, "plain ").format.fontWeight(), QFont::Normal);
    QCOMPARE(runWith(document, "bold").format.fontWeight(), QFont::Bold);
    QVERIFY(!runWith(document, "bold").format.fontItalic());
    QVERIFY(runWith(document, "italic").format.fontItalic());
    QCOMPARE(runWith(document, "italic").format.fontWeight(), QFont::Normal);
    // A group's formatting ends with the group; the italic around it does not.
    const QTextCharFormat both = runWith(document, " both").format;
    QVERIFY(both.fontWeight() == QFont::Bold && both.fontItalic());
    QVERIFY(runWith(document, "under").format.fontUnderline());
    QVERIFY(runWith(document, "gone").format.fontStrikeOut());
    QCOMPARE(runWith(document, "2").format.verticalAlignment(), QTextCharFormat::AlignSuperScript);
    QVERIFY(!runWith(document, "end").format.fontItalic());
}

void TestRtfReader::escapesAreDecoded_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("cp1252 by default") << QByteArray(R"({\rtf1 caf\'e9 \'93q\'94})") << u"café “q”"_qs;
    QTest::newRow("cp1251") << QByteArray(R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})") << u"При"_qs;
    QTest::newRow("font charset") << QByteArray(R"({\rtf1{\fonttbl{\f1\fcharset204 A;}}\f1 \'e9})") << u"й"_qs;
    QTest::newRow("two-byte code page") << QByteArray(R"({\rtf1\ansicpg932 \'82\'a0})") << u"あ"_qs;
    QTest::newRow("unicode skips one") << QByteArray(R"({\rtf1 a\u8212?b})") << u"a—b"_qs;
    QTest::newRow("uc2 skips two") << QByteArray(R"({\rtf1\uc2 a\u8212\'97\'97b})") << u"a—b"_qs;
    QTest::newRow("uc0 skips none") << QByteArray(R"({\rtf1\uc0 a\u233 b})") << u"aéb"_qs;
    QTest::newRow("uc ends with its group") << QByteArray(R"({\rtf1{\uc0\u233}\u233?})") << u"éé"_qs;
    QTest::newRow("negative unicode") << QByteArray(R"({\rtf1\u-3913?})") << u"\uF0B7"_qs;
    QTest::newRow("surrogate pair") << QByteArray(R"({\rtf1\u-10179?\u-8704?})") << u"😀"_qs;
    QTest::newRow("lone surrogate") << QByteArray(R"({\rtf1\u55357?x})") << u"\uFFFDx"_qs;
    QTest::newRow("symbols") << QByteArray(R"({\rtf1 a\~b\-c\_d\{\}\\})") << u"a\u00A0b\u00ADc\u2011d{}\\"_qs;
    QTest::newRow("named characters") << QByteArray(R"({\rtf1\lquote\rquote\ldblquote\rdblquote\emdash\endash\bullet})")
                                      << u"‘’“”—–•"_qs;
    QTest::newRow("line ends are not text") << QByteArray("{\\rtf1 a\r\nb\nc}") << u"abc"_qs;
}

void TestRtfReader::escapesAreDecoded()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument document;
    QVERIFY(readAll(rtf, document));
    QCOMPARE(textOf(document), text);
}

void TestRtfReader::fontsSizesAndColours()
{
    QTextDocument document;
    QVERIFY(readAll(R"({\rtf1\deff1{\fonttbl{\f0\fswiss Arial;}{\f1\froman\fcharset0 Times New Roman;}})"
                    R"({\colortbl ;\red255\green0\blue0;\red0\green0\blue255;})"
                    R"(default {\f0\fs32 big} {\cf1 red}{\highlight2 marked} \fs20\cf2 blue\plain  plain})",
                    document));
    QCOMPARE(document.toPlainText(), "default big redmarked blue plain");
    const QTextCharFormat standard = runWith(document, "default ").format;
    QCOMPARE(standard.fontFamilies().toStringList(), QStringList{"Times New Roman"});
    QCOMPARE(standard.fontPointSize(), 12.0);
    QVERIFY(!standard.hasProperty(QTextFormat::ForegroundBrush));
    const QTextCharFormat big = runWith(document, "big").format;
    QCOMPARE(big.fontFamilies().toStringList(), QStringList{"Arial"});
    QCOMPARE(big.fontPointSize(), 16.0);
    QCOMPARE(runWith(document, "red").format.foreground().color(), QColor(Qt::red));
    QCOMPARE(runWith(document, "marked").format.background().color(), QColor(Qt::blue));
    const QTextCharFormat blue = runWith(document, "blue").format;
    QCOMPARE(blue.foreground().color(), QColor(Qt::blue));
    QCOMPARE(blue.fontPointSize(), 10.0);
    const QTextCharFormat plain = runWith(document, " plain").format;
    QCOMPARE(plain.fontPointSize(), 12.0);
    QVERIFY(!plain.hasProperty(QTextFormat::ForegroundBrush));
}

void TestRtfReader::paragraphFormats()
{
    QTextDocument document;
    QVERIFY(readAll(R"({\rtf1\pard\qc centred\par\qr right\par\qj\li720\ri360\fi-360\sb120\sa240 indented\par)"
                    R"(\pard left\line same\tab paragraph\page next\par\par\sl360\slmult1 spaced\par})",
                    document));
    QCOMPARE(paragraphs(document),
             (QStringList{"centred", "right", "indented", u"left\u2028same\tparagraph"_qs, "next", "", "spaced"}));
    QCOMPARE(paragraphFormat(document, 0).alignment(), Qt::AlignHCenter);
    QCOMPARE(paragraphFormat(document, 1).alignment(), Qt::AlignRight);
    const QTextBlockFormat indented = paragraphFormat(document, 2);
    QCOMPARE(indented.alignment(), Qt::AlignJustify);
    QCOMPARE(indented.leftMargin(), 48.0);
    QCOMPARE(indented.rightMargin(), 24.0);
    QCOMPARE(indented.textIndent(), -24.0);
    QCOMPARE(indented.topMargin(), 8.0);
    QCOMPARE(indented.bottomMargin(), 16.0);
    // \pard sets everything back.
    const QTextBlockFormat left = paragraphFormat(document, 3);
    QCOMPARE(left.alignment(), Qt::AlignLeft);
    QVERIFY(left.leftMargin() == 0 && left.textIndent() == 0 && left.bottomMargin() == 0);
    QCOMPARE(paragraphFormat(document, 6).lineHeight(), 150.0);
    QCOMPARE(paragraphFormat(document, 6).lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
}

void TestRtfReader::wordPadAndWordListsShowTheirBullets()
{
    // As WordPad writes a bulleted list, then as Word does.
    QTextDocument document;
    QVERIFY(readAll(R"({\rtf1{\fonttbl{\f0\fnil Calibri;}{\f1\fnil\fcharset2 Symbol;}})"
                    R"(\pard{\pntext\f1\'B7\tab}{\*\pn\pnlvlblt\pnf1\pnindent0{\pntxtb\'B7}}\fi-360\li720 First item, )"
                    R"(long enough to go on over a second line and a third\par)"
                    R"({\pntext\f1\'B7\tab}Second\par)"
                    R"(\pard{\listtext\pard\plain\f1 \'b7\tab}\fi-360\li720\ls1 Third\par\pard After\par})",
                    document));
    QCOMPARE(paragraphs(document).mid(1), (QStringList{u"•\tSecond"_qs, u"•\tThird"_qs, "After"}));
    QVERIFY(paragraphs(document).constFirst().startsWith(u"•\tFirst item"_qs));
    // The bullet is not drawn in the symbol font it was written in.
    QVERIFY(runWith(document, u"•\t"_qs).format.fontFamilies().toStringList().isEmpty());
    // Laid out, the bullet hangs in the indent and the item's text starts where its following lines do.
    document.setTextWidth(200);
    document.size();
    const QTextLayout* item = document.begin().layout();
    QVERIFY(item->lineCount() >= 2);
    QCOMPARE(item->lineAt(0).x(), 24.0);
    QCOMPARE(item->lineAt(0).cursorToX(2), item->lineAt(1).x());
    QCOMPARE(paragraphFormat(document, 3).leftMargin(), 0.0);
}

void TestRtfReader::nonTextDestinationsAreSkipped()
{
    QTextDocument document;
    QVERIFY(readAll(R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1\green2\blue3;}{\stylesheet{\s1 Heading 1;}})"
                    R"({\info{\title The Title}{\author Someone}}{\header header\par}{\footer footer\par})"
                    R"({\*\generator Writer}{\*\unknown{\b nested} text}{\pict\wmetafile8 0102}a)"
                    R"({\pict\bin4 }{{\}b{\field{\*\fldinst HYPERLINK "http://x.example/"}{\fldrslt link}}c)"
                    R"({\footnote note}{\v hidden}{\object{\*\objdata 01}{\result fallback}}d})",
                    document));
    QCOMPARE(document.toPlainText(), "ablinkcd");
}

void TestRtfReader::depthIsCapped()
{
    // The document's own group counts: 256 groups open at once read; one more stops the reader.
    QTextDocument document;
    const QByteArray deepest = "{\\rtf1 a" + QByteArray(255, '{') + "b" + QByteArray(256, '}');
    QVERIFY(readAll(deepest, document));
    QCOMPARE(document.toPlainText(), "ab");

    QString error;
    const QByteArray tooDeep = "{\\rtf1 a" + QByteArray(100000, '{') + "b" + QByteArray(100001, '}');
    QVERIFY(!RtfReader::read(tooDeep, document, &error));
    QVERIFY2(error.contains("deeper than 256"), qPrintable(error));
    QCOMPARE(document.toPlainText(), "a");
}

void TestRtfReader::textIsCapped()
{
    RtfReader::Limits limits;
    limits.maxText = 10;
    QTextDocument document;
    QString error;
    // Paragraph breaks count: 4 + 1 + 5 is the limit exactly.
    QVERIFY(RtfReader::read(R"({\rtf1 abcd\par efghi})", document, &error, limits));
    QVERIFY(!RtfReader::read(R"({\rtf1 abcd\par efghij\par klm})", document, &error, limits));
    QVERIFY2(error.contains("longer than 10"), qPrintable(error));
    QCOMPARE(paragraphs(document), (QStringList{"abcd", "efghi"}));
    QVERIFY(!RtfReader::read(R"({\rtf1 abcdefghij\par x})", document, &error, limits));
    QCOMPARE(document.toPlainText(), "abcdefghij");

    limits.maxParagraphs = 3;
    QVERIFY(RtfReader::read(R"({\rtf1 a\par b\par c})", document, &error, limits));
    QVERIFY(!RtfReader::read(R"({\rtf1 a\par\par\par\par b})", document, &error, limits));
    QVERIFY2(error.contains("more than 3 paragraphs"), qPrintable(error));
    QCOMPARE(paragraphs(document), (QStringList{"a", ""}));
}

void TestRtfReader::truncatedInputKeepsWhatWasRead()
{
    QTextDocument document;
    QString error;
    QVERIFY(!RtfReader::read(R"({\rtf1 first\par {\b bold} tail {\i open)", document, &error));
    QVERIFY2(error.contains("ends before"), qPrintable(error));
    QCOMPARE(paragraphs(document), (QStringList{"first", "bold tail open"}));
    QVERIFY(runWith(document, "open").format.fontItalic());
    // What follows the document's closing brace is not part of it.
    QVERIFY(RtfReader::read(QByteArray("{\\rtf1 done}\r\n") + '\0' + " trailing{", document, &error));
    QCOMPARE(document.toPlainText(), "done");
}

void TestRtfReader::notRichTextLeavesTheDocumentAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("plain text") << QByteArray("Just some words.");
    QTest::newRow("html") << QByteArray("<html><body>{\\rtf1}</body></html>");
    QTest::newRow("header cut short") << QByteArray("{\\rt");
    QTest::newRow("space before the header") << QByteArray(" {\\rtf1 text}");
}

void TestRtfReader::notRichTextLeavesTheDocumentAlone()
{
    QFETCH(QByteArray, bytes);
    QTextDocument document;
    document.setPlainText("before");
    QString error;
    QVERIFY(!RtfReader::read(bytes, document, &error));
    QVERIFY(error.contains("{\\rtf"));
    QCOMPARE(document.toPlainText(), "before");
}

void TestRtfReader::hostileInputEndsCleanly_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("huge numbers") << QByteArray(R"({\rtf1\fs99999999999999999999\li-99999999999\cf99999 x})")
                                  << u"x"_qs;
    QTest::newRow("unicode out of range") << QByteArray(R"({\rtf1\u99999?\u-99999?y})") << u"y"_qs;
    QTest::newRow("binary longer than the file") << QByteArray("{\\rtf1 z\\bin999999 }}}") << u"z"_qs;
    QTest::newRow("escape cut short") << QByteArray("{\\rtf1 w\\'4") << u"w"_qs;
    QTest::newRow("bad hex") << QByteArray("{\\rtf1 v\\'zz}") << u"vzz"_qs;
    QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 u\\") << u"u"_qs;
    QTest::newRow("overlong word") << QByteArray("{\\rtf1 t\\" + QByteArray(5000, 'b') + " s}") << u"ts"_qs;
    QTest::newRow("forged document marks")
        << QByteArray(R"({\rtf1 a\u-560?\u-559?\u-4?\u8233?\u0?b})") << u"a\u2028b"_qs;
    QTest::newRow("skip count past the group") << QByteArray(R"({\rtf1{\uc255\u233 abc}def})") << u"édef"_qs;
    QTest::newRow("control bytes") << QByteArray("{\\rtf1 r\x01\x1b\x7fq}") << u"rq"_qs;
}

void TestRtfReader::hostileInputEndsCleanly()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument document;
    RtfReader::read(rtf, document);
    QCOMPARE(textOf(document), text);
    QCOMPARE(document.blockCount(), 1);
    // Whatever it was given, the document lays out.
    document.setTextWidth(400);
    QVERIFY(document.size().height() > 0);
}

void TestRtfReader::theShippedHelpFileReads()
{
    const QByteArray help = readBytes(qEnvironmentVariable("TARNWICK_SOURCE_DIR") + "/resources/Help.rtf");
    QVERIFY(!help.isEmpty());
    QTextDocument document;
    QVERIFY(readAll(help, document));
    const QStringList texts = paragraphs(document);
    const QStringList headings{"Tarnwick Help",
                               "Letting Tarnwick watch your browser",
                               "The options",
                               "Setup mode",
                               "The allowed and disallowed lists",
                               "Allowing the next popup",
                               "The tray icon",
                               "The status bar",
                               "This window"};
    for (const QString& heading : headings) {
        const qsizetype index = texts.indexOf(heading);
        QVERIFY2(index >= 0, qPrintable(heading));
        const QTextCharFormat format = document.findBlockByNumber(int(index)).begin().fragment().charFormat();
        QVERIFY2(format.fontWeight() == QFont::Bold && format.fontPointSize() >= 14, qPrintable(heading));
    }
    const QString all = document.toPlainText();
    for (const char* needed : {"Popup Blocking:",
                               "Setup Mode:",
                               "Exceptions:",
                               "Audio:",
                               "Visual:",
                               "Automation:",
                               "Block Now",
                               "Block Always",
                               "Allow Now",
                               "Allow Always",
                               "~/.local/share/Tarnwick/allowed.txt",
                               "disallowed.txt",
                               "--remote-debugging-port=9222",
                               "DevToolsActivePort",
                               "tarnwick --launch",
                               "--browser-profile=default",
                               "Not guarding any browser",
                               "--browser-url http://127.0.0.1:9222",
                               "~/.config/autostart",
                               "Win+Z",
                               "Show program",
                               "Allow next popup",
                               "Exit",
                               "Minimize",
                               "blocked to date"})
        QVERIFY2(all.contains(QLatin1String(needed)), needed);
    // Every list item starts with its bullet; no RTF leaked into the text.
    QVERIFY(texts.filter(u"•\t"_qs).size() >= 20);
    QVERIFY(!all.contains(u'\\') && !all.contains(u'{') && !all.contains(u'}'));
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtf_reader.moc"
