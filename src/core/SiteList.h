#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "PublicSuffixList.h"

#include <string_view>
#include <unordered_set>

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
    void index(QStringView entry);

    // Looked up by view, so trying the parent domains of a host allocates nothing.
    struct ViewHash {
        using is_transparent = void;
        // Qt's own string hash is seeded and slow for short keys; these keys come from the user's lists.
        std::size_t operator()(QStringView text) const noexcept
        {
            return std::hash<std::u16string_view>{}(std::u16string_view(text.utf16(), std::size_t(text.size())));
        }
    };
    struct ViewEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
    };
    using HostSet = std::unordered_set<QString, ViewHash, ViewEqual>;
    using ViewSet = std::unordered_set<QStringView, ViewHash, ViewEqual>;

    PublicSuffixList m_suffixes;
    QString m_text;
    HostSet m_hosts;
    // The proper parent domains of the hosts above that an entry covers, down to its registrable domain
    // ("shop.com" for "www.shop.com", "shop.co.uk" for "www.shop.co.uk"): views into the hosts' own text,
    // which a node-based set never moves, so the index grows with the list's length and not its square.
    ViewSet m_parents;
};
