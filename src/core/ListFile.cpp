#include "ListFile.h"

#include <utility>

namespace {

bool isIgnored(QByteArrayView line)
{
    // Blank lines, a lone space, and the bare CR that a CR CR LF leaves behind.
    return line.isEmpty() || line == " " || line == "\r";
}

} // namespace

QStringList ListFile::Contents::texts() const
{
    QStringList list;
    list.reserve(entries.size());
    for (const Entry& entry : entries)
        list.append(entry.text);
    return list;
}

void ListFile::scan(QByteArrayView bytes, const std::function<void(Entry& entry)>& onEntry,
                    const std::function<void(int lineNumber, QByteArrayView line)>& onRefused)
{
    qsizetype start = 0;
    int lineNumber = 0;
    Entry entry;
    while (start < bytes.size()) {
        ++lineNumber;
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = bytes.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isIgnored(line)) {
            // Measured in bytes first, so a line of megabytes is never decoded.
            QString text = line.size() > 4 * MaxEntryLength ? QString() : QString::fromUtf8(line);
            if (text.isEmpty() || text.size() > MaxEntryLength) {
                onRefused(lineNumber, line);
            } else {
                entry.text = std::move(text);
                entry.bytes = line;
                entry.start = start;
                entry.next = next;
                entry.lineNumber = lineNumber;
                onEntry(entry);
            }
        }
        start = next;
    }
}

ListFile::Contents ListFile::read(const QByteArray& bytes)
{
    Contents contents;
    // At most one entry a line.
    contents.entries.reserve(bytes.count('\n') + 1);
    scan(
        bytes, [&contents](Entry& entry) { contents.entries.append(std::move(entry)); },
        [&contents](int lineNumber, QByteArrayView line) {
            contents.refusedLines.append(lineNumber);
            contents.refusedKeys.append(qHash(line));
        });
    return contents;
}

QByteArray ListFile::serialize(const QStringList& entries)
{
    QByteArray bytes;
    for (const QString& entry : entries) {
        bytes += entry.toUtf8();
        bytes += "\r\n";
    }
    bytes += "\r\n";
    return bytes;
}

QByteArray ListFile::withEntry(const QByteArray& bytes, const QString& entry)
{
    const Contents contents = read(bytes);
    QByteArray line = entry.toUtf8() + "\r\n";
    qsizetype at = 0;
    if (!contents.entries.isEmpty()) {
        at = contents.entries.constLast().next;
        // A last line without its line end gets one, or the new entry would join it.
        if (at == bytes.size() && !bytes.endsWith('\n'))
            line.prepend("\r\n");
    }
    QByteArray changed = bytes;
    changed.insert(at, line);
    return changed;
}

QByteArray ListFile::without(const QByteArray& bytes, const std::function<bool(const Entry&)>& remove)
{
    QByteArray kept;
    kept.reserve(bytes.size());
    qsizetype from = 0;
    for (const Entry& entry : read(bytes).entries) {
        if (!remove(entry))
            continue;
        kept.append(bytes.constData() + from, entry.start - from);
        from = entry.next;
    }
    kept.append(bytes.constData() + from, bytes.size() - from);
    return kept;
}
