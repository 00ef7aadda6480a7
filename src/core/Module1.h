#pragma once

#include "SiteListStore.h"

#include <QString>

struct DecisionState;
class StatusSink;

// The allowed and disallowed site lists: "allowed.txt" and "disallowed.txt" in the data folder, the rows
// of List1 and List2, and gAllowedSites and gDisallowedSites.
class Module1 {
public:
    Module1(DecisionState& state, const QString& dataFolder, StatusSink& status);

    SiteListStore& allowed() { return m_allowed; }
    SiteListStore& disallowed() { return m_disallowed; }
    QStringListModel& List1() { return m_allowed.model(); }
    QStringListModel& List2() { return m_disallowed.model(); }

    // Each returns false, with the reason shown to the user, when it changed nothing.
    bool AddAllowedSite(const QString& site) { return m_allowed.add(site); }
    bool RemoveAllowedSite(const QString& site) { return m_allowed.remove(site); }
    bool LoadAllowedSites() { return m_allowed.load(); }
    bool SaveAllowedSites() { return m_allowed.save(); }
    bool AddDisallowedSite(const QString& site) { return m_disallowed.add(site); }
    bool RemoveDisallowedSite(const QString& site) { return m_disallowed.remove(site); }
    bool LoadDisallowedSites() { return m_disallowed.load(); }
    bool SaveDisallowedSites() { return m_disallowed.save(); }

    // Makes the data folder and any missing list file: "allowed.txt" allows the product's own web site,
    // "disallowed.txt" is empty. False, with the path and the reason in *error, when that fails or when a list's
    // path holds something other than a regular file or a link to one (a folder, a FIFO, a device, a link to
    // nothing), which is then left as it is.
    bool CreateMissingFiles(const QString& websiteHost, QString* error);

    // The Add buttons: the text box's text, trimmed; nothing typed, or a site on the list already, adds nothing.
    static bool AddButton(SiteListStore& list, const QString& text);
    // The Delete buttons: the selected row (-1 for none) leaves the list box, the file and the text.
    static bool DeleteButton(SiteListStore& list, int selectedRow);

private:
    QString m_dataFolder;
    SiteListStore m_allowed;
    SiteListStore m_disallowed;
};
