#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "PublicSuffixList.h"

#include <vector>

// The in-memory text of one site list (every entry followed by CR LF) with an index of its hosts, so that
// asking whether the list covers a site costs a few hash look-ups however long the list is.
class SiteList {
public:
    static constexpr QStringView LineEnd = u"\r\n";
    // The longest entry that can match: a host name has at most 253 characters.
    static constexpr qsizetype MaxEntryLength = 253;

    const QString& text() const { return m_text; }
    // Replaces the text; empty entries (bare line ends) are kept in it and match nothing.
    void setText(const QString& text);
    void setEntries(const QStringList& entries);
    void append(const QString& entry);

    // Same answer as EntryCoversSite() for some entry of the list.
    bool covers(QStringView site) const;
    // The same for a host already made by SiteHost(), so one decision works it out once for both lists.
    bool coversHost(QStringView host) const;

    static QString textOf(const QStringList& entries);

private:
    // One name in the index: an entry's host, a parent domain of one, or both. Parents are linked to the
    // names one label longer below them, so a parent is checked against its entries only when a site asks.
    struct Node {
        quint32 hash = 0;
        qint32 offset = 0; // into m_text, or into m_keys at -offset - 1
        qint32 length = 0;
        qint32 firstChild = -1;
        qint32 nextSibling = -1;
        // The length of the name's registrable domain, worked out the first time a parent asks; 0 for none.
        mutable qint32 floor = -1;
        bool host = false;
        bool chained = false;      // linked below its own parent
        mutable qint8 covered = 0; // a parent's answer once known: 1 covered, -1 not
    };
    class Hashes;

    void clearIndex(qsizetype expected);
    // Indexes one entry; the hashes of its host are given when the entry is that host already.
    void index(QStringView entry, const Hashes* plainHashes);
    void prefetch(QStringView host, const Hashes& hashes) const;
    QStringView keyOf(const Node& node) const
    {
        return node.offset >= 0 ? QStringView(m_text).sliced(node.offset, node.length)
                                : QStringView(m_keys).sliced(-qsizetype(node.offset) - 1, node.length);
    }
    qint32 find(QStringView key, quint32 hash) const;
    qint32 insert(qsizetype offset, qsizetype length, quint32 hash);
    void grow();
    qint32 floorOf(const Node& node) const;
    bool coveredBelow(qint32 parent) const;
    void forgetAnswersAbove(QStringView host, const Hashes& hashes);

    PublicSuffixList m_suffixes;
    QString m_text;
    // The hosts that are not written in the text as they are (the text holds the others), one after another; a
    // parent is a view into the host it came from, so the index grows with the list's length and not its square.
    QString m_keys;
    std::vector<Node> m_nodes;
    // Open addressing over m_nodes, each slot with its node's hash so that a miss reads no node: -1 is free.
    struct Slot {
        quint32 hash = 0;
        qint32 node = -1;
    };
    std::vector<Slot> m_slots;
    // Whether any parent's answer is kept, which an entry added below it could change.
    mutable bool m_answered = false;
};
