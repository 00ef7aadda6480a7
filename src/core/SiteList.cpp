#include "SiteList.h"

#include "SiteName.h"

#include <QVarLengthArray>

#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr quint64 kSeed = 0xcbf29ce484222325ULL;
constexpr quint64 kPrime = 0x100000001b3ULL;

// The bits of a running hash spread over all of its width, so that its low bits can pick a slot.
quint64 mix(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Entries as people type them: lower-case letters, digits, "-", "_" and dots, not ending in a dot. SiteHost()
// gives such an entry back unchanged, so it need not be made into a new string.
constexpr std::array<bool, 128> kPlainChars = [] {
    std::array<bool, 128> plain{};
    for (char c = 'a'; c <= 'z'; ++c)
        plain[std::size_t(c)] = true;
    for (char c = '0'; c <= '9'; ++c)
        plain[std::size_t(c)] = true;
    plain['.'] = plain['-'] = plain['_'] = true;
    return plain;
}();

bool isPlainChar(char16_t c)
{
    return c < kPlainChars.size() && kPlainChars[c];
}

bool mayBePlainHost(QStringView entry)
{
    return !entry.isEmpty() && entry.size() <= SiteList::MaxEntryLength && entry.back() != u'.';
}

bool isPlainHost(QStringView entry)
{
    if (!mayBePlainHost(entry))
        return false;
    for (QChar c : entry) {
        if (!isPlainChar(c.unicode()))
            return false;
    }
    return true;
}

// Four UTF-16 characters in a 64-bit word: the high bit of each lane that is 0, and no other bit. (Shifted down
// to the low bits and multiplied by kLanes, they add up in the top lane.)
constexpr quint64 kLanes = 0x0001000100010001ULL;
constexpr quint64 kLow15 = 0x7fff7fff7fff7fffULL;

quint64 zeroLanes(quint64 word)
{
    return ~(((word & kLow15) + kLow15) | word | kLow15);
}

// The first dot at or after from; -1 for none. Host names are short: a plain loop beats a call.
qsizetype dotFrom(QStringView host, qsizetype from)
{
    for (qsizetype i = from; i < host.size(); ++i) {
        if (host[i] == u'.')
            return i;
    }
    return -1;
}

} // namespace

// Hashed from the right, so one pass over a host gives the hash of every parent domain in it:
// at(i) is the hash of host[i..].
class SiteList::Hashes {
public:
    Hashes() = default;
    explicit Hashes(QStringView host) { assign(host); }
    void assign(QStringView host)
    {
        m_running.resize(host.size());
        quint64 h = kSeed;
        for (qsizetype i = host.size() - 1; i >= 0; --i)
            m_running[i] = h = (h ^ host[i].unicode()) * kPrime;
    }
    // The same for an entry that is a plain host, in the same pass that makes sure it is one.
    bool assignPlain(QStringView entry)
    {
        if (!mayBePlainHost(entry))
            return false;
        m_running.resize(entry.size());
        quint64 h = kSeed;
        bool plain = true;
        for (qsizetype i = entry.size() - 1; i >= 0; --i) {
            const char16_t c = entry[i].unicode();
            plain = plain && isPlainChar(c);
            m_running[i] = h = (h ^ c) * kPrime;
        }
        return plain;
    }
    quint32 at(qsizetype i) const { return quint32(mix(m_running[i])); }

private:
    QVarLengthArray<quint64, 256> m_running;
};

namespace {

// How many entries ahead of the one being indexed the slots of its names are fetched into the cache: a long
// list's table is larger than the cache, and each look-up would otherwise wait for memory in turn.
constexpr int kPrefetchAhead = 8;

} // namespace

void SiteList::setText(const QString& text)
{
    m_text = text;
    // The entries are the pieces between CR LF line ends, and the piece after the last. Each adds its host and at
    // most one name per dot: room for all of them, so nothing is rehashed.
    std::vector<QStringView> entries;
    qsizetype names = 1;
    {
        const QStringView all(m_text);
        const char16_t* chars = all.utf16();
        const qsizetype size = all.size();
        qsizetype start = 0;
        for (qsizetype i = 0; i < size;) {
            // Four characters at a time while there is no CR among them.
            if (i + 4 <= size) {
                quint64 word;
                std::memcpy(&word, chars + i, sizeof word);
                if (zeroLanes(word ^ kLanes * u'\r') == 0) {
                    names += qsizetype(((zeroLanes(word ^ kLanes * u'.') >> 15) * kLanes) >> 48);
                    i += 4;
                    continue;
                }
            }
            if (chars[i] == u'.') {
                ++names;
            } else if (chars[i] == u'\r' && i + 1 < size && chars[i + 1] == u'\n') {
                entries.push_back(all.sliced(start, i - start));
                ++names;
                start = i + 2;
                ++i;
            }
            ++i;
        }
        entries.push_back(all.sliced(start));
    }
    clearIndex(names);

    // The entries a few ahead are hashed first and their slots fetched, then indexed with those hashes.
    struct Ahead {
        QStringView entry;
        bool plain = false;
        Hashes hashes;
    };
    std::array<Ahead, kPrefetchAhead> ring;
    const auto look = [&](std::size_t at) {
        Ahead& next = ring[at % ring.size()];
        next.entry = entries[at];
        // Only entries that are their own host: the others are rare, and indexed without help.
        next.plain = next.hashes.assignPlain(next.entry);
        if (next.plain)
            prefetch(next.entry, next.hashes);
    };
    for (std::size_t at = 0; at < entries.size() && at < ring.size(); ++at)
        look(at);
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const Ahead& current = ring[at % ring.size()];
        index(current.entry, current.plain ? &current.hashes : nullptr);
        if (at + ring.size() < entries.size())
            look(at + ring.size());
    }
}

void SiteList::prefetch(QStringView host, const Hashes& hashes) const
{
    const std::size_t mask = m_slots.size() - 1;
    __builtin_prefetch(&m_slots[hashes.at(0) & mask]);
    for (qsizetype i = 0; i + 1 < host.size(); ++i) {
        if (host[i] == u'.')
            __builtin_prefetch(&m_slots[hashes.at(i + 1) & mask]);
    }
}

void SiteList::setEntries(const QStringList& entries)
{
    setText(textOf(entries));
}

void SiteList::append(const QString& entry)
{
    m_text += entry;
    m_text += LineEnd;
    index(QStringView(m_text).sliced(m_text.size() - LineEnd.size() - entry.size(), entry.size()), nullptr);
}

QString SiteList::textOf(const QStringList& entries)
{
    QString text;
    qsizetype size = 0;
    for (const QString& entry : entries)
        size += entry.size() + LineEnd.size();
    text.reserve(size);
    for (const QString& entry : entries) {
        text += entry;
        text += LineEnd;
    }
    return text;
}

void SiteList::clearIndex(qsizetype expected)
{
    m_nodes.clear();
    m_nodes.reserve(std::size_t(expected));
    m_keys.clear();
    m_slots.assign(std::bit_ceil(std::size_t(std::max<qsizetype>(16, 2 * expected))), Slot());
    m_answered = false;
}

qint32 SiteList::find(QStringView key, quint32 hash) const
{
    if (m_nodes.empty())
        return -1;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot slot = m_slots[i];
        if (slot.node < 0)
            return -1;
        if (slot.hash == hash && keyOf(m_nodes[std::size_t(slot.node)]) == key)
            return slot.node;
    }
}

qint32 SiteList::insert(qsizetype offset, qsizetype length, quint32 hash)
{
    if (2 * (m_nodes.size() + 1) > m_slots.size())
        grow();
    const auto at = qint32(m_nodes.size());
    Node node;
    node.hash = hash;
    node.offset = qint32(offset);
    node.length = qint32(length);
    m_nodes.push_back(node);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = hash & mask;
    while (m_slots[i].node >= 0)
        i = (i + 1) & mask;
    m_slots[i] = {hash, at};
    return at;
}

void SiteList::grow()
{
    m_slots.assign(std::max<std::size_t>(16, 2 * m_slots.size()), Slot());
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = 0; at < m_nodes.size(); ++at) {
        const quint32 hash = m_nodes[at].hash;
        std::size_t i = hash & mask;
        while (m_slots[i].node >= 0)
            i = (i + 1) & mask;
        m_slots[i] = {hash, qint32(at)};
    }
}

void SiteList::index(QStringView entry, const Hashes* plainHashes)
{
    QString made;
    QStringView host = entry;
    bool inText = true;
    Hashes own;
    const Hashes* hashes = plainHashes;
    if (!plainHashes) {
        // Nothing longer than a host name can be is a site: it matches nothing, and costs nothing.
        if (entry.size() > MaxEntryLength)
            return;
        if (!isPlainHost(entry)) {
            made = SiteHost(entry);
            host = made;
            inText = false;
        }
        if (host.isEmpty())
            return;
        own.assign(host);
        hashes = &own;
    }
    if (m_answered)
        forgetAnswersAbove(host, *hashes);

    qint32 node = find(host, hashes->at(0));
    if (node < 0) {
        // A host written as it is in the text is not copied: the entry is a view into the text.
        qsizetype offset = host.data() - m_text.constData();
        if (!inText) {
            offset = -m_keys.size() - 1;
            m_keys += host;
        }
        node = insert(offset, host.size(), hashes->at(0));
    }
    m_nodes[std::size_t(node)].host = true;
    if (IsAddressLiteral(host))
        return;
    // Linked under each parent up to the first one linked already. A registrable domain has a dot in it, so a
    // name without one ("com") is never covered from below and is left out.
    const qsizetype base = m_nodes[std::size_t(node)].offset;
    qint32 child = node;
    for (qsizetype dot = dotFrom(host, 0); dot >= 0 && !m_nodes[std::size_t(child)].chained;) {
        const qsizetype start = dot + 1;
        const qsizetype next = dotFrom(host, start);
        if (next < 0)
            break;
        qint32 parent = find(host.sliced(start), hashes->at(start));
        if (parent < 0)
            parent = insert(base >= 0 ? base + start : base - start, host.size() - start, hashes->at(start));
        Node& below = m_nodes[std::size_t(child)];
        below.nextSibling = m_nodes[std::size_t(parent)].firstChild;
        below.chained = true;
        m_nodes[std::size_t(parent)].firstChild = child;
        child = parent;
        dot = next;
    }
}

void SiteList::forgetAnswersAbove(QStringView host, const Hashes& hashes)
{
    for (qsizetype dot = host.indexOf(u'.'); dot >= 0; dot = host.indexOf(u'.', dot + 1)) {
        if (const qint32 parent = find(host.sliced(dot + 1), hashes.at(dot + 1)); parent >= 0)
            m_nodes[std::size_t(parent)].covered = 0;
    }
}

qint32 SiteList::floorOf(const Node& node) const
{
    if (node.floor < 0) {
        const QStringView host = keyOf(node);
        node.floor = IsAddressLiteral(host) ? 0 : qint32(m_suffixes.registrableDomain(host).size());
    }
    return node.floor;
}

bool SiteList::coveredBelow(qint32 parent) const
{
    const Node& top = m_nodes[std::size_t(parent)];
    if (top.covered != 0)
        return top.covered > 0;
    // Some entry below reaches up to here: its registrable domain is no longer than this name
    // ("www.shop.co.uk" stands for "shop.co.uk", never "co.uk"). libpsl finds a registrable domain by trying a
    // name's parents from the longest down, so an entry that reaches here shares its registrable domain with this
    // name and with every name between them: a public suffix ("co.uk") is answered without looking below it, and
    // a branch whose registrable domain differs is left. A name that starts with a dot has none of its own for
    // libpsl, though an entry below may still reach past it, so it cuts nothing.
    const auto cuts = [this](const Node& node) {
        return !keyOf(node).startsWith(u'.');
    };
    const qint32 topFloor = cuts(top) ? floorOf(top) : -1;
    bool covered = false;
    QVarLengthArray<qint32, 64> pending;
    if (top.firstChild >= 0 && topFloor != 0)
        pending.append(top.firstChild);
    while (!pending.isEmpty() && !covered) {
        const Node& node = m_nodes[std::size_t(pending.back())];
        pending.removeLast();
        if (node.nextSibling >= 0)
            pending.append(node.nextSibling);
        if (topFloor > 0 && cuts(node) && floorOf(node) != topFloor)
            continue;
        if (node.firstChild >= 0)
            pending.append(node.firstChild);
        if (node.host) {
            const qint32 floor = floorOf(node);
            covered = floor > 0 && floor <= top.length;
        }
    }
    top.covered = covered ? 1 : -1;
    m_answered = true;
    return covered;
}

bool SiteList::covers(QStringView site) const
{
    return coversHost(SiteHost(site));
}

bool SiteList::coversHost(QStringView host) const
{
    if (host.isEmpty() || m_nodes.empty())
        return false;
    const Hashes hashes(host);
    const qint32 node = find(host, hashes.at(0));
    if (node >= 0 && m_nodes[std::size_t(node)].host)
        return true;
    if (IsAddressLiteral(host))
        return false;
    // An entry below the site ("www.shop.com" covers "shop.com").
    if (node >= 0 && coveredBelow(node))
        return true;
    // An entry above the site ("shop.com" covers "www.shop.com").
    for (qsizetype dot = host.indexOf(u'.'); dot >= 0; dot = host.indexOf(u'.', dot + 1)) {
        const qsizetype start = dot + 1;
        if (start == host.size())
            continue;
        const qint32 parent = find(host.sliced(start), hashes.at(start));
        if (parent >= 0 && m_nodes[std::size_t(parent)].host && !IsAddressLiteral(host.sliced(start)))
            return true;
    }
    return false;
}
