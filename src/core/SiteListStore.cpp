#include "SiteListStore.h"

#include "ListFile.h"
#include "SiteList.h"
#include "SiteName.h"
#include "StatusSink.h"
#include "UserFile.h"

#include <algorithm>
#include <utility>

SiteListStore::SiteListStore(QString path, QString listName, SiteList& memory, StatusSink& status)
    : m_path(std::move(path))
    , m_listName(std::move(listName))
    , m_memory(memory)
    , m_status(status)
{}

void SiteListStore::report(const QString& text)
{
    m_status.ShowStatus(text);
}

bool SiteListStore::add(const QString& site)
{
    // A line break would turn one entry into two lines of the file.
    if (site.contains(u'\r') || site.contains(u'\n')) {
        report(QStringLiteral("A site cannot contain a line break; nothing was added to the %1 list").arg(m_listName));
        return false;
    }
    if (site.size() > ListFile::MaxEntryLength) {
        report(QStringLiteral("A site cannot be longer than %1 characters; nothing was added to the %2 list")
                   .arg(ListFile::MaxEntryLength)
                   .arg(m_listName));
        return false;
    }
    return change(
        [&](QByteArray& bytes) {
            if (ListFile::read(bytes).entries.size() >= MaxEntries) {
                report(QStringLiteral("The %1 list is full (%2 sites); %3 was not added")
                           .arg(m_listName)
                           .arg(MaxEntries)
                           .arg(site));
                return false;
            }
            bytes = ListFile::withEntry(bytes, site);
            return true;
        },
        QStringLiteral("%1 was not added").arg(site));
}

bool SiteListStore::addTyped(const QString& text)
{
    const QString site = text.trimmed();
    if (site.isEmpty()) {
        report(QStringLiteral("Type a site first; nothing was added to the %1 list").arg(m_listName));
        return false;
    }
    // The file may have changed since the rows were shown: compare with what it holds now.
    if (UserFile::kindOf(m_path) == UserFile::Kind::Regular)
        reload();
    const QString host = SiteHost(site);
    for (const QString& row : rows()) {
        const bool same = host.isEmpty() ? row.trimmed().compare(site, Qt::CaseInsensitive) == 0
                                         : SiteHost(row).compare(host, Qt::CaseInsensitive) == 0;
        if (same) {
            report(QStringLiteral("%1 is on the %2 list already").arg(row, m_listName));
            return false;
        }
    }
    return add(site);
}

bool SiteListStore::remove(const QString& site)
{
    return change(
        [&](QByteArray& bytes) {
            bytes = ListFile::without(bytes, [&site](const ListFile::Entry& entry) {
                return entry.text.compare(site, Qt::CaseInsensitive) == 0;
            });
            return true;
        },
        QStringLiteral("the %1 list is unchanged").arg(m_listName));
}

bool SiteListStore::removeRow(int row)
{
    const QList<QByteArray> lines = rowLines();
    if (row < 0 || row >= lines.size())
        return false;
    // The row's own line: the same text may be on the list more than once.
    const QByteArray line = lines[row];
    const qsizetype occurrence = std::count(lines.cbegin(), lines.cbegin() + row, line);
    return change(
        [&](QByteArray& bytes) {
            const ListFile::Contents contents = ListFile::read(bytes);
            qsizetype start = -1;
            qsizetype seen = 0;
            for (const ListFile::Entry& entry : contents.entries) {
                if (entry.bytes != line)
                    continue;
                if (start < 0 || seen == occurrence)
                    start = entry.start;
                if (seen++ == occurrence)
                    break;
            }
            // Gone from the file already: nothing to write, and the rows show the file.
            if (start < 0)
                return true;
            bytes = ListFile::without(bytes, [start](const ListFile::Entry& entry) { return entry.start == start; });
            return true;
        },
        QStringLiteral("the %1 list is unchanged").arg(m_listName));
}

bool SiteListStore::change(const std::function<bool(QByteArray& bytes)>& makeChange, const QString& unchanged)
{
    const UserFile::Lock lock(m_path);
    if (!lock.locked()) {
        report(QStringLiteral("Could not write %1 (%2); %3").arg(m_path, lock.error(), unchanged));
        return false;
    }
    QByteArray bytes;
    QString error;
    if (UserFile::kindOf(m_path) != UserFile::Kind::Missing && !UserFile::read(m_path, &bytes, &error)) {
        report(QStringLiteral("Could not write %1 (%2); %3").arg(m_path, error, unchanged));
        return false;
    }
    const QByteArray before = bytes;
    if (!makeChange(bytes)) {
        take(before, false);
        return false;
    }
    if (bytes != before || UserFile::kindOf(m_path) == UserFile::Kind::Missing) {
        if (!UserFile::write(m_path, bytes, &error)) {
            report(QStringLiteral("Could not write %1 (%2); %3").arg(m_path, error, unchanged));
            return false;
        }
    }
    take(bytes, false);
    return true;
}

QList<QByteArray> SiteListStore::rowLines() const
{
    QList<QByteArray> lines;
    for (const QString& row : m_keptRows)
        lines.append(row.toUtf8());
    ListFile::scan(
        m_bytes, [&lines](ListFile::Entry& entry) { lines.append(entry.bytes.toByteArray()); },
        [](int, QByteArrayView) {});
    return lines;
}

void SiteListStore::take(const QByteArray& bytes, bool keepRows)
{
    m_bytes = bytes;
    m_keptRows = keepRows ? m_model.stringList() : QStringList();
    // One pass over the file: each entry decoded once, into its row and the text.
    QStringList rows = m_keptRows;
    QString text;
    // Room for the text of every line (a text is never longer than its UTF-8), up to what a full list can hold.
    text.reserve(std::min<qsizetype>(bytes.size(), qsizetype(MaxEntries) * (ListFile::MaxEntryLength + 2)) + 2);
    QList<int> refusedLines;
    QList<size_t> refusedKeys;
    ListFile::scan(
        bytes,
        [&](ListFile::Entry& entry) {
            text += entry.text;
            text += SiteList::LineEnd;
            rows.append(std::move(entry.text));
        },
        [&](int lineNumber, QByteArrayView line) {
            refusedLines.append(lineNumber);
            refusedKeys.append(qHash(line));
        });
    // Set only when different, so that a list box keeps its selection when nothing changed.
    if (m_model.stringList() != rows)
        m_model.setStringList(rows);
    if (m_memory.text() != text)
        m_memory.setText(text);

    // Said once: not again at every reload of the same lines, wherever they moved.
    if (refusedKeys == m_refusedSaid)
        return;
    m_refusedSaid = refusedKeys;
    if (refusedLines.isEmpty())
        return;
    QStringList numbers;
    for (int line : refusedLines)
        numbers.append(QString::number(line));
    report(QStringLiteral("%1 %2 of %3 left out: longer than a site can be (%4 characters)")
               .arg(numbers.size() == 1 ? QStringLiteral("Line") : QStringLiteral("Lines"),
                    numbers.join(QStringLiteral(", ")), m_path)
               .arg(ListFile::MaxEntryLength));
}

bool SiteListStore::load()
{
    QByteArray bytes;
    QString error;
    if (!UserFile::read(m_path, &bytes, &error)) {
        report(QStringLiteral("Could not read %1 (%2)").arg(m_path, error));
        return false;
    }
    take(bytes, true);
    return true;
}

bool SiteListStore::reload()
{
    QByteArray bytes;
    QString error;
    if (UserFile::kindOf(m_path) == UserFile::Kind::Missing)
        return false;
    if (!UserFile::read(m_path, &bytes, &error)) {
        // Said once while it lasts: the folder's other files change often.
        if (std::exchange(m_reloadError, error) != error)
            report(QStringLiteral("Could not read %1 (%2)").arg(m_path, error));
        return false;
    }
    m_reloadError.clear();
    if (bytes != m_bytes)
        take(bytes, false);
    return true;
}

bool SiteListStore::save()
{
    const QStringList wanted = rows();
    return change(
        [this, &wanted](QByteArray& bytes) {
            if (ListFile::parse(bytes) != wanted || UserFile::kindOf(m_path) == UserFile::Kind::Missing)
                bytes = ListFile::serialize(wanted);
            return true;
        },
        QStringLiteral("the %1 list is unchanged").arg(m_listName));
}

bool SiteListStore::createIfMissing(const QByteArray& content, QString* error)
{
    QString reason;
    switch (UserFile::kindOf(m_path, &reason)) {
    case UserFile::Kind::Regular:
        return true;
    case UserFile::Kind::Refused:
        *error = QStringLiteral("cannot use %1: %2").arg(m_path, reason);
        return false;
    case UserFile::Kind::Missing:
        break;
    }
    if (!UserFile::write(m_path, content, &reason)) {
        *error = QStringLiteral("cannot create %1: %2").arg(m_path, reason);
        return false;
    }
    return true;
}
