#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringListModel>

#include <functional>

class SiteList;
class StatusSink;

// One site list in its three places: the file, the rows a list box shows, and the in-memory text the
// popup decision searches. The file is the truth: every change reads it afresh under its lock, writes it
// whole, and only then shows the rows and sets the text from what was written, so the three never drift
// apart and a change made by another program or by hand is kept.
class SiteListStore {
public:
    // The most rows a list holds.
    static constexpr int MaxEntries = 32767;

    SiteListStore(QString path, QString listName, SiteList& memory, StatusSink& status);

    const QString& path() const { return m_path; }
    QStringListModel& model() { return m_model; }
    QStringList rows() const { return m_model.stringList(); }

    // Adds the site on a line of its own after the file's last entry; the rows and the text follow.
    bool add(const QString& site);
    // A site the user typed, trimmed, added as add() does. Nothing typed, a site too long to be a host name,
    // or a site the list has already (the same host, letter case aside), is said and not added.
    bool addTyped(const QString& text);
    // Removes every entry equal to the site, letter case aside.
    bool remove(const QString& site);
    // Removes exactly the row at that position.
    bool removeRow(int row);
    // Adds the file's entries after the rows already there; the text becomes the file's entries.
    bool load();
    // Takes the file's entries again if it changed since it was last read or written: rows and text alike.
    bool reload();
    // Writes the rows to the file when it does not hold them already.
    bool save();
    // Writes the file with this content if there is none yet; false with the reason when it cannot, or when
    // the path is something other than a regular file or a link to one.
    bool createIfMissing(const QByteArray& content, QString* error);

private:
    // Reads the file under its lock, lets change() make the new content, writes it when it differs and
    // takes it as the rows and the text. False, with the reason said, when nothing could be written.
    bool change(const std::function<bool(QByteArray& bytes)>& change, const QString& unchanged);
    void take(const QByteArray& bytes, bool keepRows);
    void report(const QString& text);

    QString m_path;
    QString m_listName;
    SiteList& m_memory;
    StatusSink& m_status;
    QStringListModel m_model;
    // The line of each row as the file has it: those of rows kept from before a load (in UTF-8), then the
    // entries of m_bytes.
    QList<QByteArray> rowLines() const;

    // The file as last read or written, and the rows kept in front of its entries by a load.
    QByteArray m_bytes;
    QStringList m_keptRows;
    QList<size_t> m_refusedSaid;
    QString m_reloadError;
};
