#include "RtfReader.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// RTF numbers are 16-bit by the format's rules; longer digit runs saturate here instead of overflowing.
constexpr qint64 kNumberCap = 1'000'000'000;
// No control word of the format is longer; a longer one is read and ignored.
constexpr std::size_t kMaxWordLength = 32;
constexpr int kMaxTabStops = 32;
constexpr int kMaxUnicodeSkip = 255;
// Damaged files may declare any number of fonts and colours; real ones declare a few dozen.
constexpr int kMaxTableEntries = 4096;
// Measures past 22 inches are damage, not layout.
constexpr int kTwipsCap = 31680;
constexpr int kDefaultHalfPoints = 24;
constexpr int kMaxHalfPoints = 3276;
constexpr int kDefaultCodePage = 1252;
// A font of the symbol character set: its bytes are pictures (list bullets), not a code page's letters.
constexpr int kSymbolCharset = 2;
constexpr int kSymbolCodePage = -1;

enum class Destination : std::uint8_t { Text, FontTable, ColorTable, Skip };

enum class Word : std::uint8_t {
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    UnicodeSkip,
    Unicode,
    Binary,
    FontTable,
    ColorTable,
    SkipGroup,
    FontCharset,
    Red,
    Green,
    Blue,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    Font,
    Color,
    Highlight,
    Super,
    Sub,
    NoSuperSub,
    Hidden,
    Caps,
    SmallCaps,
    Par,
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    Justify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    LineSpacing,
    LineMultiple,
    TabStop,
    TabRight,
    TabCenter,
    TabDecimal,
    Line,
    Tab,
    Character,
};

struct WordEntry {
    std::string_view name;
    Word word;
    char16_t character = 0;
};

// Sorted by name for the binary search.
constexpr std::array kWords = std::to_array<WordEntry>({
    {"annotation", Word::SkipGroup},
    {"ansi", Word::Ansi},
    {"ansicpg", Word::AnsiCodePage},
    {"atnauthor", Word::SkipGroup},
    {"atnid", Word::SkipGroup},
    {"author", Word::SkipGroup},
    {"b", Word::Bold},
    {"bin", Word::Binary},
    {"bkmkend", Word::SkipGroup},
    {"bkmkstart", Word::SkipGroup},
    {"blue", Word::Blue},
    {"bullet", Word::Character, u'\u2022'},
    {"caps", Word::Caps},
    {"cb", Word::Highlight},
    {"cell", Word::Tab},
    {"cf", Word::Color},
    {"colorschememapping", Word::SkipGroup},
    {"colortbl", Word::ColorTable},
    {"comment", Word::SkipGroup},
    {"company", Word::SkipGroup},
    {"datastore", Word::SkipGroup},
    {"deff", Word::DefaultFont},
    {"doccomm", Word::SkipGroup},
    {"emdash", Word::Character, u'\u2014'},
    {"emspace", Word::Character, u'\u2003'},
    {"endash", Word::Character, u'\u2013'},
    {"enspace", Word::Character, u'\u2002'},
    {"f", Word::Font},
    {"falt", Word::SkipGroup},
    {"fcharset", Word::FontCharset},
    {"fi", Word::FirstIndent},
    {"filetbl", Word::SkipGroup},
    {"fldinst", Word::SkipGroup},
    {"fonttbl", Word::FontTable},
    {"footer", Word::SkipGroup},
    {"footerf", Word::SkipGroup},
    {"footerl", Word::SkipGroup},
    {"footerr", Word::SkipGroup},
    {"footnote", Word::SkipGroup},
    {"fs", Word::FontSize},
    {"generator", Word::SkipGroup},
    {"green", Word::Green},
    {"header", Word::SkipGroup},
    {"headerf", Word::SkipGroup},
    {"headerl", Word::SkipGroup},
    {"headerr", Word::SkipGroup},
    {"highlight", Word::Highlight},
    {"i", Word::Italic},
    {"info", Word::SkipGroup},
    {"keywords", Word::SkipGroup},
    {"latentstyles", Word::SkipGroup},
    {"ldblquote", Word::Character, u'\u201C'},
    {"li", Word::LeftIndent},
    {"lin", Word::LeftIndent},
    {"line", Word::Line},
    {"listoverridetable", Word::SkipGroup},
    {"listtable", Word::SkipGroup},
    {"lquote", Word::Character, u'\u2018'},
    {"ltrmark", Word::Character, u'\u200E'},
    {"mac", Word::Mac},
    {"nestcell", Word::Tab},
    {"nestrow", Word::Par},
    {"nonshppict", Word::SkipGroup},
    {"nosupersub", Word::NoSuperSub},
    {"object", Word::SkipGroup},
    {"operator", Word::SkipGroup},
    {"page", Word::Par},
    {"panose", Word::SkipGroup},
    {"par", Word::Par},
    {"pard", Word::Pard},
    {"pc", Word::Pc},
    {"pca", Word::Pca},
    {"pgdsctbl", Word::SkipGroup},
    {"pict", Word::SkipGroup},
    {"plain", Word::Plain},
    {"pn", Word::SkipGroup},
    {"pntxta", Word::SkipGroup},
    {"pntxtb", Word::SkipGroup},
    {"qc", Word::AlignCenter},
    {"qj", Word::Justify},
    {"ql", Word::AlignLeft},
    {"qmspace", Word::Character, u'\u2005'},
    {"qr", Word::AlignRight},
    {"rdblquote", Word::Character, u'\u201D'},
    {"red", Word::Red},
    {"revtbl", Word::SkipGroup},
    {"ri", Word::RightIndent},
    {"rin", Word::RightIndent},
    {"row", Word::Par},
    {"rquote", Word::Character, u'\u2019'},
    {"rsidtbl", Word::SkipGroup},
    {"rtlmark", Word::Character, u'\u200F'},
    {"rxe", Word::SkipGroup},
    {"sa", Word::SpaceAfter},
    {"sb", Word::SpaceBefore},
    {"scaps", Word::SmallCaps},
    {"sect", Word::Par},
    {"shp", Word::SkipGroup},
    {"sl", Word::LineSpacing},
    {"slmult", Word::LineMultiple},
    {"strike", Word::Strike},
    {"stylesheet", Word::SkipGroup},
    {"sub", Word::Sub},
    {"subject", Word::SkipGroup},
    {"super", Word::Super},
    {"tab", Word::Tab},
    {"tc", Word::SkipGroup},
    {"template", Word::SkipGroup},
    {"themedata", Word::SkipGroup},
    {"title", Word::SkipGroup},
    {"tqc", Word::TabCenter},
    {"tqdec", Word::TabDecimal},
    {"tqr", Word::TabRight},
    {"tx", Word::TabStop},
    {"txe", Word::SkipGroup},
    {"u", Word::Unicode},
    {"uc", Word::UnicodeSkip},
    {"ul", Word::Underline},
    {"uld", Word::Underline},
    {"uldash", Word::Underline},
    {"uldashd", Word::Underline},
    {"uldashdd", Word::Underline},
    {"uldb", Word::Underline},
    {"ulhwave", Word::Underline},
    {"ulldash", Word::Underline},
    {"ulnone", Word::UnderlineNone},
    {"ulth", Word::Underline},
    {"ulthd", Word::Underline},
    {"ulthdash", Word::Underline},
    {"ulw", Word::Underline},
    {"ulwave", Word::Underline},
    {"userprops", Word::SkipGroup},
    {"v", Word::Hidden},
    {"xe", Word::SkipGroup},
    {"xmlnstbl", Word::SkipGroup},
    {"zwbo", Word::Character, u'\u200B'},
    {"zwj", Word::Character, u'\u200D'},
    {"zwnj", Word::Character, u'\u200C'},
});
static_assert(std::is_sorted(kWords.begin(), kWords.end(),
                             [](const WordEntry& a, const WordEntry& b) { return a.name < b.name; }));

const WordEntry* findWord(std::string_view name)
{
    const auto* found = std::lower_bound(kWords.begin(), kWords.end(), name,
                                         [](const WordEntry& entry, std::string_view key) { return entry.name < key; });
    return found != kWords.end() && found->name == name ? found : nullptr;
}

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    bool caps = false;
    bool smallCaps = false;
    QTextCharFormat::VerticalAlignment vertical = QTextCharFormat::AlignNormal;
    int font = -1; // the document's default font
    int halfPoints = kDefaultHalfPoints;
    int color = -1; // the reader's own colour
    int highlight = 0;
};

struct ParState {
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0;
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
    int line = 0;
    bool lineMultiple = false;
    int tabCount = 0;
    std::array<int, kMaxTabStops> tabs{};
    std::array<QTextOption::TabType, kMaxTabStops> tabTypes{};
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

struct GroupState {
    Destination destination = Destination::Text;
    int unicodeSkip = 1;
    CharState chars;
    ParState par;
};

struct FontEntry {
    QString family;
    int charset = -1;
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int clampTwips(int twips)
{
    return std::clamp(twips, -kTwipsCap, kTwipsCap);
}

// Twips to the document's pixels (96 to the inch), the unit of its margins and tab stops.
qreal pixels(int twips)
{
    return twips / 15.0;
}

int codePageOfCharset(int charset, int documentCodePage)
{
    switch (charset) {
    case kSymbolCharset:
        return kSymbolCodePage;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        // 0 is "ANSI": the document's own code page.
        return documentCodePage;
    }
}

QStringDecoder makeDecoder(int codePage)
{
    // Stateless: each run is decoded whole, so a split sequence must not carry into the next one.
    constexpr auto flags = QStringConverter::Flag::Stateless;
    QList<QByteArray> names;
    switch (codePage) {
    case 932:
        names.append("windows-31j");
        break;
    case 936:
        names.append("GBK");
        break;
    case 950:
        names.append("Big5");
        break;
    case 10000:
        names.append("macintosh");
        break;
    case 65001:
        names.append("UTF-8");
        break;
    default:
        break;
    }
    const QByteArray number = QByteArray::number(codePage);
    names.append("windows-" + number);
    names.append("cp" + number);
    names.append("windows-1252");
    for (const QByteArray& name : std::as_const(names)) {
        QStringDecoder decoder(name.constData(), flags);
        if (decoder.isValid())
            return decoder;
    }
    // Qt without ICU: Latin-1 is 1252 but for 27 punctuation marks.
    return QStringDecoder(QStringConverter::Latin1, flags);
}

QString symbolText(const QByteArray& bytes)
{
    // Symbol and Wingdings bytes mean pictures; the ones lists use become their Unicode look-alikes.
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<uchar>(byte);
        switch (value) {
        case 0xA7:
            text.append(QChar(0x25AA));
            break;
        case 0xD8:
            text.append(QChar(0x27A2));
            break;
        case 0xFC:
            text.append(QChar(0x2713));
            break;
        default:
            text.append(value < 0x80 ? QChar(value) : QChar(0x2022));
            break;
        }
    }
    return text;
}

// Reads one document; lives for one call of RtfReader::read.
class Parser {
public:
    Parser(const QByteArray& rtf, QTextDocument& document, const RtfReader::Limits& limits)
        : m_data(rtf.constData())
        , m_size(rtf.size())
        , m_document(document)
        , m_limits(limits)
    {
        m_groups.reserve(std::size_t(std::clamp(limits.maxDepth, 0, 256)) + 1);
    }

    QString run()
    {
        m_document.clear();
        m_cursor = QTextCursor(&m_document);
        // One change for whoever shows the document, not one per run of text.
        m_cursor.beginEditBlock();
        while (m_pos < m_size && !m_stop) {
            const char c = m_data[m_pos++];
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                control();
                break;
            case '\r':
            case '\n':
                break;
            default:
                textByte(c);
                break;
            }
        }
        if (!m_stop)
            fail(QStringLiteral("the text ends before its groups close"));
        finish();
        m_cursor.endEditBlock();
        return m_problem;
    }

private:
    GroupState& group() { return m_groups.back(); }
    Destination destination() const { return m_groups.empty() ? Destination::Skip : m_groups.back().destination; }

    void fail(const QString& problem)
    {
        if (m_problem.isEmpty())
            m_problem = problem;
        m_stop = true;
    }

    void openGroup()
    {
        flushBytes();
        m_skipLeft = 0;
        if (std::ssize(m_groups) >= m_limits.maxDepth) {
            fail(QStringLiteral("groups are nested deeper than %1").arg(m_limits.maxDepth));
            return;
        }
        m_groups.push_back(m_groups.empty() ? GroupState() : m_groups.back());
    }

    void closeGroup()
    {
        flushBytes();
        m_skipLeft = 0;
        if (destination() == Destination::FontTable)
            commitFont();
        if (m_groups.empty())
            return;
        m_groups.pop_back();
        m_formatDirty = true;
        if (m_groups.empty()) {
            // The outer group is the document: anything after it is not.
            m_ended = true;
            m_stop = true;
        }
    }

    void control()
    {
        if (m_pos >= m_size)
            return;
        const char c = m_data[m_pos];
        if (isLetter(c)) {
            const qsizetype start = m_pos;
            while (m_pos < m_size && isLetter(m_data[m_pos]))
                ++m_pos;
            const std::string_view name(m_data + start, std::size_t(m_pos - start));
            bool negative = false;
            if (m_pos + 1 < m_size && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1])) {
                negative = true;
                ++m_pos;
            }
            bool hasParam = false;
            qint64 value = 0;
            while (m_pos < m_size && isDigit(m_data[m_pos])) {
                hasParam = true;
                value = std::min(value * 10 + (m_data[m_pos] - '0'), kNumberCap);
                ++m_pos;
            }
            if (m_pos < m_size && m_data[m_pos] == ' ')
                ++m_pos;
            const int param = int(negative ? -value : value);
            controlWord(name.size() <= kMaxWordLength ? findWord(name) : nullptr, hasParam, param);
            return;
        }
        ++m_pos;
        if (c == '\'') {
            if (m_pos + 1 < m_size && hexValue(m_data[m_pos]) >= 0 && hexValue(m_data[m_pos + 1]) >= 0) {
                const char byte = char(hexValue(m_data[m_pos]) * 16 + hexValue(m_data[m_pos + 1]));
                m_pos += 2;
                textByte(byte, true);
            } else if (m_pos < m_size && hexValue(m_data[m_pos]) >= 0) {
                // A broken escape is dropped whole, not half turned into text.
                ++m_pos;
            }
            return;
        }
        controlSymbol(c);
    }

    // True when the token is one of the characters that stand in for a \u character, and so is dropped.
    bool skippedAfterUnicode()
    {
        if (m_skipLeft <= 0)
            return false;
        --m_skipLeft;
        return true;
    }

    void controlSymbol(char c)
    {
        if (c == '\\' || c == '{' || c == '}') {
            textByte(c, true);
            return;
        }
        if (skippedAfterUnicode() || destination() == Destination::Skip)
            return;
        switch (c) {
        case '*':
            // An ignorable destination: skipped whatever its name, known or not.
            flushBytes();
            group().destination = Destination::Skip;
            break;
        case '~':
            emitCharacter(u'\u00A0');
            break;
        case '-':
            emitCharacter(u'\u00AD');
            break;
        case '_':
            emitCharacter(u'\u2011');
            break;
        case '\r':
        case '\n':
            flushBytes();
            paragraphBreak();
            break;
        default:
            break;
        }
    }

    void controlWord(const WordEntry* entry, bool hasParam, int param)
    {
        if (entry && entry->word == Word::Binary && hasParam && param > 0) {
            // Raw bytes follow; they are data whatever they look like.
            m_pos += std::min<qsizetype>(param, m_size - m_pos);
        }
        if (skippedAfterUnicode() || !entry || destination() == Destination::Skip)
            return;
        flushBytes();
        const bool on = !hasParam || param != 0;
        GroupState& state = group();
        CharState& chars = state.chars;
        ParState& par = state.par;
        switch (entry->word) {
        case Word::FontTable:
            state.destination = Destination::FontTable;
            m_entryOpen = false;
            return;
        case Word::ColorTable:
            state.destination = Destination::ColorTable;
            m_colorSet = false;
            return;
        case Word::SkipGroup:
            state.destination = Destination::Skip;
            return;
        case Word::Ansi:
            m_codePage = kDefaultCodePage;
            return;
        case Word::Mac:
            m_codePage = 10000;
            return;
        case Word::Pc:
            m_codePage = 437;
            return;
        case Word::Pca:
            m_codePage = 850;
            return;
        case Word::AnsiCodePage:
            if (param > 0)
                m_codePage = param;
            return;
        case Word::DefaultFont:
            m_defaultFont = param;
            m_formatDirty = true;
            return;
        default:
            break;
        }
        if (state.destination == Destination::FontTable) {
            if (entry->word == Word::Font) {
                commitFont();
                m_entryOpen = true;
                m_entryNumber = param;
                m_entryCharset = -1;
            } else if (entry->word == Word::FontCharset) {
                m_entryCharset = param;
            }
            return;
        }
        if (state.destination == Destination::ColorTable) {
            int* component = entry->word == Word::Red     ? &m_red
                             : entry->word == Word::Green ? &m_green
                             : entry->word == Word::Blue  ? &m_blue
                                                          : nullptr;
            if (component) {
                *component = std::clamp(param, 0, 255);
                m_colorSet = true;
            }
            return;
        }
        switch (entry->word) {
        case Word::UnicodeSkip:
            state.unicodeSkip = std::clamp(param, 0, kMaxUnicodeSkip);
            return;
        case Word::Unicode:
            unicodeCharacter(param);
            m_skipLeft = state.unicodeSkip;
            return;
        case Word::Plain:
            chars = CharState();
            break;
        case Word::Bold:
            chars.bold = on;
            break;
        case Word::Italic:
            chars.italic = on;
            break;
        case Word::Underline:
            chars.underline = on;
            break;
        case Word::UnderlineNone:
            chars.underline = false;
            break;
        case Word::Strike:
            chars.strike = on;
            break;
        case Word::Hidden:
            chars.hidden = on;
            break;
        case Word::Caps:
            chars.caps = on;
            break;
        case Word::SmallCaps:
            chars.smallCaps = on;
            break;
        case Word::FontSize:
            chars.halfPoints = param > 0 ? std::min(param, kMaxHalfPoints) : kDefaultHalfPoints;
            break;
        case Word::Font:
            chars.font = param;
            break;
        case Word::Color:
            chars.color = param;
            break;
        case Word::Highlight:
            chars.highlight = param;
            break;
        case Word::Super:
            chars.vertical = QTextCharFormat::AlignSuperScript;
            break;
        case Word::Sub:
            chars.vertical = QTextCharFormat::AlignSubScript;
            break;
        case Word::NoSuperSub:
            chars.vertical = QTextCharFormat::AlignNormal;
            break;
        case Word::Par:
            paragraphBreak();
            return;
        case Word::Pard:
            par = ParState();
            return;
        case Word::AlignLeft:
            par.alignment = Qt::AlignLeft;
            return;
        case Word::AlignCenter:
            par.alignment = Qt::AlignHCenter;
            return;
        case Word::AlignRight:
            par.alignment = Qt::AlignRight;
            return;
        case Word::Justify:
            par.alignment = Qt::AlignJustify;
            return;
        case Word::LeftIndent:
            par.left = clampTwips(param);
            return;
        case Word::RightIndent:
            par.right = clampTwips(param);
            return;
        case Word::FirstIndent:
            par.first = clampTwips(param);
            return;
        case Word::SpaceBefore:
            par.before = clampTwips(param);
            return;
        case Word::SpaceAfter:
            par.after = clampTwips(param);
            return;
        case Word::LineSpacing:
            par.line = clampTwips(param);
            return;
        case Word::LineMultiple:
            par.lineMultiple = on;
            return;
        case Word::TabStop:
            if (par.tabCount < kMaxTabStops) {
                par.tabs[std::size_t(par.tabCount)] = clampTwips(param);
                par.tabTypes[std::size_t(par.tabCount)] = par.nextTabType;
                ++par.tabCount;
            }
            par.nextTabType = QTextOption::LeftTab;
            return;
        case Word::TabRight:
            par.nextTabType = QTextOption::RightTab;
            return;
        case Word::TabCenter:
            par.nextTabType = QTextOption::CenterTab;
            return;
        case Word::TabDecimal:
            par.nextTabType = QTextOption::DelimiterTab;
            return;
        case Word::Line:
            emitCharacter(QChar::LineSeparator);
            return;
        case Word::Tab:
            emitCharacter(u'\t');
            return;
        case Word::Character:
            emitCharacter(entry->character);
            return;
        default:
            return;
        }
        m_formatDirty = true;
    }

    // A byte of text: plain, escaped as \'hh, or a \\ \{ \} symbol.
    void textByte(char byte, bool escaped = false)
    {
        if (skippedAfterUnicode())
            return;
        switch (destination()) {
        case Destination::Text:
            m_bytes.append(byte);
            break;
        case Destination::FontTable:
            if (byte == ';' && !escaped)
                commitFont();
            else if (m_entryOpen)
                m_entryName.append(byte);
            break;
        case Destination::ColorTable:
            if (byte == ';' && !escaped)
                commitColor();
            break;
        case Destination::Skip:
            break;
        }
    }

    int codePageOf(int fontNumber) const
    {
        const auto font = m_fonts.constFind(fontNumber);
        return font == m_fonts.constEnd() ? m_codePage : codePageOfCharset(font->charset, m_codePage);
    }

    int currentFont() const { return m_groups.back().chars.font >= 0 ? m_groups.back().chars.font : m_defaultFont; }

    QString decode(const QByteArray& bytes, int codePage)
    {
        if (codePage == kSymbolCodePage)
            return symbolText(bytes);
        auto decoder = m_decoders.find(codePage);
        if (decoder == m_decoders.end())
            decoder = m_decoders.emplace(codePage, makeDecoder(codePage)).first;
        return decoder->second.decode(bytes);
    }

    // The text bytes read so far are decoded together, so a two-byte character of an Asian code page written as
    // two \'hh escapes stays one character.
    void flushBytes()
    {
        if (m_bytes.isEmpty() || m_groups.empty())
            return;
        const QString text = decode(m_bytes, codePageOf(currentFont()));
        m_bytes.resize(0);
        emitText(text);
    }

    void commitFont()
    {
        if (m_entryOpen && m_fonts.size() < kMaxTableEntries) {
            // The font's own code page spells its name.
            const int codePage = codePageOfCharset(m_entryCharset, m_codePage);
            QString family =
                codePage == kSymbolCodePage ? QString::fromLatin1(m_entryName) : decode(m_entryName, codePage);
            m_fonts.insert(m_entryNumber, FontEntry{family.trimmed(), m_entryCharset});
            m_formatDirty = true;
        }
        m_entryOpen = false;
        m_entryName.clear();
    }

    void commitColor()
    {
        if (m_colors.size() < kMaxTableEntries)
            m_colors.append(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
        m_colorSet = false;
        m_red = m_green = m_blue = 0;
        m_formatDirty = true;
    }

    void unicodeCharacter(int value)
    {
        if (value < -32768 || value > 65535) {
            resolveSurrogate();
            return;
        }
        // Values above 32767 are written negative.
        const auto code = char16_t(value < 0 ? value + 65536 : value);
        if (QChar::isHighSurrogate(code)) {
            resolveSurrogate();
            m_highSurrogate = code;
        } else if (QChar::isLowSurrogate(code) && m_highSurrogate != 0) {
            const QChar pair[2] = {QChar(m_highSurrogate), QChar(code)};
            m_highSurrogate = 0;
            appendRun(QStringView(pair, 2));
        } else {
            emitCharacter(QChar::isLowSurrogate(code) ? char16_t(QChar::ReplacementCharacter) : code);
        }
    }

    // A high surrogate whose low half never came stands for a character nobody can know.
    void resolveSurrogate()
    {
        if (m_highSurrogate == 0)
            return;
        m_highSurrogate = 0;
        const QChar replacement(QChar::ReplacementCharacter);
        appendRun(QStringView(&replacement, 1));
    }

    void emitCharacter(char16_t character)
    {
        if (destination() != Destination::Text)
            return;
        flushBytes();
        const QChar one(character);
        emitText(QStringView(&one, 1));
    }

    // Text for the document, without the characters that would break its structure.
    void emitText(QStringView text)
    {
        resolveSurrogate();
        QString kept;
        kept.reserve(text.size());
        for (const QChar c : text) {
            const char16_t code = c.unicode();
            // Line ends in RTF source are not text; the document's own frame and object marks must not be
            // forged, and a paragraph separator would make a paragraph behind the limit's back.
            if ((code < 0x20 && code != u'\t') || code == 0x7F || code == 0xFDD0 || code == 0xFDD1 || code == 0xFFFC)
                continue;
            kept.append(code == QChar::ParagraphSeparator ? QChar(QChar::LineSeparator) : c);
        }
        appendRun(kept);
    }

    QTextCharFormat charFormat() const
    {
        const CharState& chars = m_groups.back().chars;
        QTextCharFormat format;
        if (chars.bold)
            format.setFontWeight(QFont::Bold);
        if (chars.italic)
            format.setFontItalic(true);
        if (chars.underline)
            format.setFontUnderline(true);
        if (chars.strike)
            format.setFontStrikeOut(true);
        if (chars.caps)
            format.setFontCapitalization(QFont::AllUppercase);
        else if (chars.smallCaps)
            format.setFontCapitalization(QFont::SmallCaps);
        if (chars.vertical != QTextCharFormat::AlignNormal)
            format.setVerticalAlignment(chars.vertical);
        format.setFontPointSize(chars.halfPoints / 2.0);
        const auto font = m_fonts.constFind(currentFont());
        // A symbol font's bytes were turned into Unicode; drawing them in that font would undo it.
        if (font != m_fonts.constEnd() && font->charset != kSymbolCharset && !font->family.isEmpty())
            format.setFontFamilies({font->family});
        if (chars.color >= 0 && chars.color < m_colors.size() && m_colors.at(chars.color).isValid())
            format.setForeground(m_colors.at(chars.color));
        if (chars.highlight > 0 && chars.highlight < m_colors.size() && m_colors.at(chars.highlight).isValid())
            format.setBackground(m_colors.at(chars.highlight));
        return format;
    }

    static QTextBlockFormat blockFormat(const ParState& par)
    {
        QTextBlockFormat format;
        format.setAlignment(par.alignment);
        const int left = std::max(par.left, 0);
        // A hanging first line may reach the left edge, not past it.
        const int first = std::max(par.first, -left);
        format.setLeftMargin(pixels(left));
        format.setRightMargin(pixels(std::max(par.right, 0)));
        format.setTextIndent(pixels(first));
        format.setTopMargin(pixels(std::max(par.before, 0)));
        format.setBottomMargin(pixels(std::max(par.after, 0)));
        if (par.lineMultiple && par.line > 0)
            format.setLineHeight(std::clamp(par.line * 100.0 / 240.0, 50.0, 500.0),
                                 QTextBlockFormat::ProportionalHeight);
        else if (!par.lineMultiple && par.line > 0)
            format.setLineHeight(pixels(par.line), QTextBlockFormat::MinimumHeight);
        else if (!par.lineMultiple && par.line < 0)
            format.setLineHeight(pixels(-par.line), QTextBlockFormat::FixedHeight);
        // Qt measures tab stops from where the line starts, RTF from the left edge; the first line is the one
        // that holds tabs in practice, so they are placed for it.
        const int lineStart = left + first;
        QList<QTextOption::Tab> tabs;
        for (int i = 0; i < par.tabCount; ++i) {
            const int position = par.tabs[std::size_t(i)] - lineStart;
            const auto type = par.tabTypes[std::size_t(i)];
            if (position > 0)
                tabs.append(QTextOption::Tab(pixels(position), type,
                                             type == QTextOption::DelimiterTab ? QChar(u'.') : QChar()));
        }
        // A hanging indent stops a tab where the following lines start, which is how a bullet and its tab
        // line the first line up with the rest.
        if (first < 0)
            tabs.append(QTextOption::Tab(pixels(-first), QTextOption::LeftTab));
        if (!tabs.isEmpty()) {
            std::sort(tabs.begin(), tabs.end(),
                      [](const QTextOption::Tab& a, const QTextOption::Tab& b) { return a.position < b.position; });
            format.setTabPositions(tabs);
        }
        return format;
    }

    void appendRun(QStringView text)
    {
        if (text.isEmpty() || m_groups.empty() || m_groups.back().chars.hidden)
            return;
        const qsizetype room = m_limits.maxText - m_made;
        if (text.size() > room) {
            text = text.first(std::max<qsizetype>(room, 0));
            fail(QStringLiteral("the text is longer than %1 characters").arg(m_limits.maxText));
            if (text.isEmpty())
                return;
        }
        if (m_formatDirty) {
            QTextCharFormat format = charFormat();
            if (format != m_runFormat) {
                flushRun();
                m_runFormat = format;
            }
            m_formatDirty = false;
        }
        m_run.append(text);
        m_made += text.size();
        m_lastPar = m_groups.back().par;
        m_blockHasText = true;
    }

    void flushRun()
    {
        if (m_run.isEmpty())
            return;
        m_cursor.insertText(m_run, m_runFormat);
        m_run.resize(0);
    }

    void paragraphBreak()
    {
        if (destination() != Destination::Text)
            return;
        resolveSurrogate();
        if (m_made >= m_limits.maxText) {
            fail(QStringLiteral("the text is longer than %1 characters").arg(m_limits.maxText));
            return;
        }
        if (m_document.blockCount() >= m_limits.maxParagraphs) {
            fail(QStringLiteral("the text has more than %1 paragraphs").arg(m_limits.maxParagraphs));
            return;
        }
        ++m_made;
        flushRun();
        // The paragraph's properties are those in force at its end; its mark carries the character format,
        // which gives an empty paragraph its height. The next paragraph starts with the same ones, so a
        // document whose paragraphs look alike is not formatted once per paragraph, which costs more than
        // the paragraph itself.
        const QTextBlockFormat format = blockFormat(group().par);
        const QTextCharFormat markFormat = charFormat();
        if (format != m_blockFormat)
            m_cursor.setBlockFormat(format);
        if (markFormat != m_markFormat)
            m_cursor.setBlockCharFormat(markFormat);
        m_cursor.insertBlock(format, markFormat);
        m_blockFormat = format;
        m_markFormat = markFormat;
        m_blockHasText = false;
    }

    void finish()
    {
        resolveSurrogate();
        flushBytes();
        flushRun();
        if (m_blockHasText) {
            const QTextBlockFormat format = blockFormat(m_lastPar);
            if (format != m_blockFormat)
                m_cursor.setBlockFormat(format);
        } else if (m_document.blockCount() > 1) {
            // The last paragraph mark ends the text; it does not start an empty paragraph after it.
            m_cursor.deletePreviousChar();
        }
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    QTextDocument& m_document;
    QTextCursor m_cursor;
    RtfReader::Limits m_limits;
    QString m_problem;
    bool m_stop = false;
    bool m_ended = false;

    std::vector<GroupState> m_groups;
    int m_skipLeft = 0;
    char16_t m_highSurrogate = 0;
    int m_codePage = kDefaultCodePage;
    int m_defaultFont = 0;
    std::unordered_map<int, QStringDecoder> m_decoders;
    QByteArray m_bytes;

    QHash<int, FontEntry> m_fonts;
    bool m_entryOpen = false;
    int m_entryNumber = 0;
    int m_entryCharset = -1;
    QByteArray m_entryName;
    QList<QColor> m_colors;
    bool m_colorSet = false;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;

    QString m_run;
    QTextCharFormat m_runFormat;
    bool m_formatDirty = true;
    qsizetype m_made = 0;
    ParState m_lastPar;
    // The formats the current paragraph and its mark have now.
    QTextBlockFormat m_blockFormat;
    QTextCharFormat m_markFormat;
    bool m_blockHasText = false;
};

// The document's undo history stays off while it is rebuilt: nobody undoes a load, and it would double the memory.
class UndoPause {
public:
    explicit UndoPause(QTextDocument& document)
        : m_document(document)
        , m_enabled(document.isUndoRedoEnabled())
    {
        m_document.setUndoRedoEnabled(false);
    }
    ~UndoPause() { m_document.setUndoRedoEnabled(m_enabled); }
    UndoPause(const UndoPause&) = delete;
    UndoPause& operator=(const UndoPause&) = delete;

private:
    QTextDocument& m_document;
    bool m_enabled;
};

} // namespace

bool RtfReader::read(const QByteArray& rtf, QTextDocument& into, QString* error)
{
    return read(rtf, into, error, Limits());
}

bool RtfReader::read(const QByteArray& rtf, QTextDocument& into, QString* error, const Limits& limits)
{
    if (!rtf.startsWith("{\\rtf")) {
        if (error)
            *error = QStringLiteral("not rich text: it does not start with {\\rtf");
        return false;
    }
    const UndoPause pause(into);
    Parser parser(rtf, into, limits);
    const QString problem = parser.run();
    if (error)
        *error = problem;
    return problem.isEmpty();
}
