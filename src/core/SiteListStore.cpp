#include "SiteListStore.h"

#include "FileRoutines.h"

#include "ListFile.h"
#include "SiteList.h"
#include "SiteName.h"
#include "StatusSink.h"

#include <QFileInfo>
#include <QSaveFile>

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
    if (m_model.rowCount() >= MaxEntries) {
        report(QStringLiteral("The %1 list is full (%2 sites); %3 was not added")
                   .arg(m_listName)
                   .arg(MaxEntries)
                   .arg(site));
        return false;
    }
    // A line break would turn one entry into two lines of the file.
    if (site.contains(u'\r') || site.contains(u'\n')) {
        report(QStringLiteral("A site cannot contain a line break; nothing was added to the %1 list").arg(m_listName));
        return false;
    }
    QString error;
    if (!ListFile::append(m_path, site, &error)) {
        report(QStringLiteral("Could not write %1 (%2); %3 was not added").arg(m_path, error, site));
        return false;
    }
    const int row = m_model.rowCount();
    m_model.insertRows(row, 1);
    m_model.setData(m_model.index(row), site);
    m_memory.append(site);
    return true;
}

bool SiteListStore::addTyped(const QString& text)
{
    const QString site = text.trimmed();
    if (site.isEmpty()) {
        report(QStringLiteral("Type a site first; nothing was added to the %1 list").arg(m_listName));
        return false;
    }
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
    QStringList kept = rows();
    kept.removeIf([&site](const QString& row) { return row.compare(site, Qt::CaseInsensitive) == 0; });
    return replaceRows(kept);
}

bool SiteListStore::removeRow(int row)
{
    QStringList kept = rows();
    if (row < 0 || row >= kept.size())
        return false;
    kept.removeAt(row);
    return replaceRows(kept);
}

bool SiteListStore::replaceRows(const QStringList& kept)
{
    QString error;
    if (!ListFile::rewrite(m_path, kept, &error)) {
        report(QStringLiteral("Could not write %1 (%2); the %3 list is unchanged").arg(m_path, error, m_listName));
        return false;
    }
    m_model.setStringList(kept);
    m_memory.setEntries(kept);
    return true;
}

bool SiteListStore::load()
{
    QStringList entries;
    QString error;
    if (!ListFile::read(m_path, &entries, &error)) {
        report(QStringLiteral("Could not read %1 (%2)").arg(m_path, error));
        return false;
    }
    m_model.setStringList(rows() + entries);
    m_memory.setEntries(entries);
    return true;
}

bool SiteListStore::save()
{
    QString error;
    if (!ListFile::rewrite(m_path, rows(), &error)) {
        report(QStringLiteral("Could not write %1 (%2)").arg(m_path, error));
        return false;
    }
    return true;
}

bool SiteListStore::createIfMissing(const QByteArray& content, QString* error)
{
    if (fileExists(m_path))
        return true;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
