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
    connect(member.get(), &ShellWindows::NewWindowComing, this, &ShellWindows::NewWindowComing);
    ShellWindows* raw = member.get();
    connect(raw, &ShellWindows::closedDown, this, [this, raw] { memberClosedDown(raw); });
    const bool hasWindows = !member->windows().isEmpty();
    m_members.push_back(std::move(member));
    if (hasWindows)
        emit WindowRegistered(++m_cookie);
    // A browser that joins while the program ends closes down with the rest.
    if (m_closeDownAsked) {
        m_closingDown.push_back(raw);
        raw->closeDown();
    }
}

void ShellWindowsGroup::closeDown()
{
    if (m_closeDownAsked) {
        if (m_closingDown.empty())
            emit closedDown();
        return;
    }
    m_closeDownAsked = true;
    for (const auto& member : m_members)
        m_closingDown.push_back(member.get());
    if (m_closingDown.empty()) {
        emit closedDown();
        return;
    }
    // A member may answer at once, inside its closeDown().
    const std::vector<ShellWindows*> asked = m_closingDown;
    for (ShellWindows* member : asked)
        member->closeDown();
}

void ShellWindowsGroup::memberClosedDown(ShellWindows* member)
{
    const auto it = std::find(m_closingDown.begin(), m_closingDown.end(), member);
    if (it == m_closingDown.end())
        return;
    m_closingDown.erase(it);
    if (m_closingDown.empty())
        emit closedDown();
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
    memberClosedDown(gone.get());
    if (!gone->windows().isEmpty())
        emit WindowRevoked(++m_cookie);
}
