// Any bytes as rich text, read twice (with the shipped limits and with tight ones) and laid out as the help window
// would: the reader never crashes or runs away, keeps within its limits, leaves the document alone when the bytes
// are not rich text, and reads the same bytes the same way every time.
#include "RtfReader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

namespace {

const QString kUntouched = QStringLiteral("untouched");

void check(const QByteArray& bytes, const RtfReader::Limits& limits)
{
    QTextDocument document;
    document.setPlainText(kUntouched);
    QString error;
    const bool read = RtfReader::read(bytes, document, &error, limits);
    if (read != error.isEmpty())
        std::abort();
    if (!bytes.startsWith("{\\rtf")) {
        if (read || document.toPlainText() != kUntouched)
            std::abort();
        return;
    }
    // Every character and paragraph break counts against the limit.
    if (document.characterCount() - 1 > limits.maxText || document.blockCount() > limits.maxParagraphs)
        std::abort();

    QTextDocument again;
    if (RtfReader::read(bytes, again, nullptr, limits) != read || again.toPlainText() != document.toPlainText())
        std::abort();

    // What the window does with it: lay it out at the text area's width.
    document.setTextWidth(680);
    if (document.size().width() < 0)
        std::abort();
}

} // namespace

// Fontconfig keeps what it matched where the leak check cannot see it; that is the font library's own cache, not
// anything the reader made.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Laying text out needs fonts, hence a GUI application; no screen is needed for that. It lives until the
    // process ends: destroyed at exit, it would leave the font libraries' caches unreachable, which the leak
    // check at exit reports.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* application = new QGuiApplication(*argc, *argv);
    Q_UNUSED(application);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    check(bytes, RtfReader::Limits());
    RtfReader::Limits tight;
    tight.maxDepth = 6;
    tight.maxText = 40;
    tight.maxParagraphs = 3;
    check(bytes, tight);
    return 0;
}
