#include "AutostartRegistry.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace {

// The text of Run value data: UTF-8 (standing in for the ANSI code page) ended by zero bytes, or by
// nothing; false for data a file name and an Exec line cannot carry as they are.
bool commandFromData(QByteArray data, QString& command)
{
    while (data.endsWith('\0'))
        data.chop(1);
    if (data.isEmpty() || data.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    command = decoder(data);
    return !decoder.hasError();
}

} // namespace

AutostartRegistry::AutostartRegistry(std::unique_ptr<Registry> inner, AutostartFolder autostart)
    : m_inner(std::move(inner))
    , m_autostart(std::move(autostart))
{
    QStringList names;
    splitPath(runKeyPath(), names);
    m_runFolded = fold(names);
}

const QString& AutostartRegistry::runKeyPath()
{
    static const QString path = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    return path;
}

bool AutostartRegistry::placeOf(HKEY parent, const QString& subKey, Place& place) const
{
    QStringList names;
    if (splitPath(subKey, names) != RegResult::Success)
        return false;
    if (isRoot(parent)) {
        place = {parent, {}};
    } else {
        const auto it = m_open.find(parent);
        if (it == m_open.end())
            return false;
        place = it->second.place;
    }
    place.folded += fold(names);
    return true;
}

bool AutostartRegistry::isRunKey(const Place& place) const
{
    return place.root == HKEY_LOCAL_MACHINE && place.folded == m_runFolded;
}

bool AutostartRegistry::leadsToRunKey(const Place& place) const
{
    return place.root == HKEY_LOCAL_MACHINE && place.folded.size() <= m_runFolded.size() &&
           std::equal(place.folded.begin(), place.folded.end(), m_runFolded.begin());
}

RegResult AutostartRegistry::runKey(HKEY key, REGSAM needed) const
{
    const auto it = m_open.find(key);
    if (it == m_open.end() || !isRunKey(it->second.place))
        return RegResult::FileNotFound;
    return (it->second.access & needed) == needed ? RegResult::Success : RegResult::AccessDenied;
}

RegResult AutostartRegistry::open(HKEY parent, const QString& subKey, REGSAM access, HKEY& key, bool create)
{
    Place place;
    if (!placeOf(parent, subKey, place)) {
        QStringList names;
        const RegResult bad = splitPath(subKey, names);
        return bad != RegResult::Success ? bad : RegResult::InvalidHandle;
    }
    RegKey inner;
    REGSAM granted = access;
    const auto attempt = [&] {
        const auto once = [&](REGSAM asked) {
            granted = asked;
            return create ? m_inner->createKey(parent, subKey, inner, asked)
                          : m_inner->openKey(parent, subKey, inner, asked);
        };
        // The rights are kept here, so the most the caller may have is found out rather than asked for.
        if ((access & MAXIMUM_ALLOWED) == 0)
            return once(access);
        const RegResult all = once(KEY_ALL_ACCESS);
        return all == RegResult::AccessDenied ? once(KEY_READ) : all;
    };
    RegResult result = attempt();
    // The Run key always exists, as on Windows, though nothing may have made it yet.
    if (result == RegResult::FileNotFound && leadsToRunKey(place)) {
        RegKey made;
        if (m_inner->createKey(place.root, runKeyPath(), made, KEY_READ) == RegResult::Success)
            result = attempt();
    }
    if (result != RegResult::Success)
        return result;
    key = inner.handle();
    m_open[key] = OpenKey{std::move(inner), std::move(place), granted};
    return RegResult::Success;
}

RegResult AutostartRegistry::doCreateKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key)
{
    return open(parent, subKey, access, key, true);
}

RegResult AutostartRegistry::doOpenKey(HKEY parent, const QString& subKey, REGSAM access, HKEY& key)
{
    return open(parent, subKey, access, key, false);
}

void AutostartRegistry::closeKey(HKEY key)
{
    m_open.erase(key);
}

RegResult AutostartRegistry::queryValueInfo(HKEY key, const QString& valueName, RegValueInfo& info)
{
    if (runKey(key, 0) == RegResult::FileNotFound)
        return m_inner->queryValueInfo(key, valueName, info);
    RegValue value;
    if (const RegResult r = queryValue(key, valueName, value); r != RegResult::Success)
        return r;
    info = {value.type, static_cast<std::uint32_t>(value.data.size())};
    return RegResult::Success;
}

RegResult AutostartRegistry::queryValue(HKEY key, const QString& valueName, RegValue& value)
{
    const RegResult run = runKey(key, KEY_QUERY_VALUE);
    if (run == RegResult::FileNotFound)
        return m_inner->queryValue(key, valueName, value);
    if (run != RegResult::Success)
        return run;
    QString command;
    if (const RegResult r = m_autostart.read(valueName, command); r != RegResult::Success)
        return r;
    value = {REG_SZ, command.toUtf8().append('\0')};
    return RegResult::Success;
}

RegResult AutostartRegistry::setValue(HKEY key, const QString& valueName, std::uint32_t type, const QByteArray& data)
{
    const RegResult run = runKey(key, KEY_SET_VALUE);
    if (run == RegResult::FileNotFound)
        return m_inner->setValue(key, valueName, type, data);
    if (run != RegResult::Success)
        return run;
    QString command;
    if (type != REG_SZ || !commandFromData(data, command))
        return RegResult::InvalidParameter;
    return m_autostart.write(valueName, command);
}

RegResult AutostartRegistry::deleteValue(HKEY key, const QString& valueName)
{
    const RegResult run = runKey(key, KEY_SET_VALUE);
    if (run == RegResult::FileNotFound)
        return m_inner->deleteValue(key, valueName);
    if (run != RegResult::Success)
        return run;
    return m_autostart.remove(valueName);
}

RegResult AutostartRegistry::deleteKey(HKEY parent, const QString& subKey)
{
    Place place;
    if (placeOf(parent, subKey, place) && isRunKey(place))
        return RegResult::AccessDenied; // it would take every program's autostart entry with it
    return m_inner->deleteKey(parent, subKey);
}
