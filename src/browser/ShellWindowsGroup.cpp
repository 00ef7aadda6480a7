#include "ShellWindowsGroup.h"

#include <algorithm>

ShellWindowsGroup::~ShellWindowsGroup()
{
    // Members go quietly: whoever listens is going too.
    for (const auto& member : m_members)
        disconnect(member.get(), nullptr, this, nullptr);
}

QList<std::shared_ptr<BrowserWindow>> ShellWindowsGroup::windows() const
{
    QList<std::shared_ptr<BrowserWindow>> all;
    for (const auto& member : m_members)
        all += member->windows();
    return all;
}

void ShellWindowsGroup::add(std::unique_ptr<ShellWindows> member)
{
    if (!member)
        return;
    connect(member.get(), &ShellWindows::WindowRegistered, this, [this](long) { emit WindowRegistered(++m_cookie); });
    connect(member.get(), &ShellWindows::WindowRevoked, this, [this](long) { emit WindowRevoked(++m_cookie); });
    const bool hasWindows = !member->windows().isEmpty();
    m_members.push_back(std::move(member));
    if (hasWindows)
        emit WindowRegistered(++m_cookie);
}

void ShellWindowsGroup::remove(ShellWindows* member)
{
    const auto it =
        std::find_if(m_members.begin(), m_members.end(), [member](const auto& owned) { return owned.get() == member; });
    if (it == m_members.end())
        return;
    std::unique_ptr<ShellWindows> gone = std::move(*it);
    m_members.erase(it);
    disconnect(gone.get(), nullptr, this, nullptr);
    if (!gone->windows().isEmpty())
        emit WindowRevoked(++m_cookie);
}
