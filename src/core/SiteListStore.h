#pragma once

#include <QString>
#include <QStringListModel>

class SiteList;
class StatusSink;

// One site list in its three places: the file, the rows a list box shows, and the in-memory text the
// popup decision searches. Every change writes the file first and touches the other two only when the
// write succeeded, so the three never drift apart.
class SiteListStore {
public:
    // The most rows a list holds.
    static constexpr int MaxEntries = 32767;

    SiteListStore(QString path, QString listName, SiteList& memory, StatusSink& status);

    const QString& path() const { return m_path; }
    QStringListModel& model() { return m_model; }
    QStringList rows() const { return m_model.stringList(); }

    // Appends the site to the file, the rows and the text.
    bool add(const QString& site);
    // A site the user typed, trimmed, added as add() does. Nothing typed, or a site the list has already
    // (the same host, letter case aside), is said and not added.
    bool addTyped(const QString& text);
    // Removes every entry equal to the site, letter case aside.
    bool remove(const QString& site);
    // Removes exactly the row at that position.
    bool removeRow(int row);
    // Adds the file's entries after the rows already there; the text becomes the file's entries.
    bool load();
    // Rewrites the file from the rows.
    bool save();
    // Writes the file with this content if there is none yet; false with the reason when it cannot.
    bool createIfMissing(const QByteArray& content, QString* error);

private:
    bool replaceRows(const QStringList& rows);
    void report(const QString& text);

    QString m_path;
    QString m_listName;
    SiteList& m_memory;
    StatusSink& m_status;
    QStringListModel m_model;
};
