#pragma once

#include "SiteList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The site-list file: one entry per line as typed, CR LF line ends. On reading, a line that is empty or a
// single space is skipped and a last line without a line end still counts; an entry longer than a host
// name can be is refused. A change rewrites the file keeping every line it does not add or delete byte for
// byte (blank lines, bytes that are not UTF-8 included).
class ListFile {
public:
    // The longest entry a list takes.
    static constexpr qsizetype MaxEntryLength = SiteList::MaxEntryLength;

    // One line of the file that holds an entry.
    struct Entry {
        QString text;
        QByteArrayView bytes; // the line as the file has it, without its line end (a view into the file's bytes)
        qsizetype start = 0;  // where the line starts in the file
        qsizetype next = 0;   // where the line after it starts
        int lineNumber = 0;   // counted from 1
    };
    struct Contents {
        QList<Entry> entries;
        QList<int> refusedLines;   // entries too long to take, by line number
        QList<size_t> refusedKeys; // and by a hash of their bytes, which stays when other lines come and go
        QStringList texts() const;
    };

    // The entries' bytes are views into the bytes given, which must outlive the contents.
    static Contents read(const QByteArray& bytes);
    // The same in one pass without keeping the entries: onEntry(entry) for each entry in file order (its text may
    // be moved from), onRefused(lineNumber, lineBytes) for each line too long to take.
    static void scan(QByteArrayView bytes, const std::function<void(Entry& entry)>& onEntry,
                     const std::function<void(int lineNumber, QByteArrayView line)>& onRefused);
    static QStringList parse(const QByteArray& bytes) { return read(bytes).texts(); }
    // Every entry with its CR LF and then one more CR LF: a list written from scratch.
    static QByteArray serialize(const QStringList& entries);

    // The file with the entry on a line of its own after the last entry there (before trailing blank lines).
    static QByteArray withEntry(const QByteArray& bytes, const QString& entry);
    // The file without the entries that remove() picks; the lines of the others stay as they were.
    static QByteArray without(const QByteArray& bytes, const std::function<bool(const Entry&)>& remove);
};
