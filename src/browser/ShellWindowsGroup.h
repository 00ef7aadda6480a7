#pragma once

#include "ShellWindows.h"

#include <memory>
#include <vector>

// The windows of several browsers as one collection: each member's windows in turn, in the order the
// members were added. Adding or removing a member with windows is news of windows come or gone.
class ShellWindowsGroup : public ShellWindows {
    Q_OBJECT
public:
    using ShellWindows::ShellWindows;
    ~ShellWindowsGroup() override;

    QList<std::shared_ptr<BrowserWindow>> windows() const override;
    // Every member closes down; closedDown() follows once each has, or has left the group.
    void closeDown() override;

    void add(std::unique_ptr<ShellWindows> member);
    // Drops the member; its windows leave the collection.
    void remove(ShellWindows* member);
    int memberCount() const { return int(m_members.size()); }

private:
    void memberClosedDown(ShellWindows* member);

    std::vector<std::unique_ptr<ShellWindows>> m_members;
    // The members still closing down; empty when the group is not.
    std::vector<ShellWindows*> m_closingDown;
    bool m_closeDownAsked = false;
    long m_cookie = 0;
};
