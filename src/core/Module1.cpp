#include "Module1.h"

#include "AppState.h"

#include <QDir>

Module1::Module1(AppState& state, const QString& dataFolder, StatusSink& status)
    : m_allowed(QDir(dataFolder).filePath(QStringLiteral("allowed.txt")), QStringLiteral("allowed"),
                state.gAllowedSites, status)
    , m_disallowed(QDir(dataFolder).filePath(QStringLiteral("disallowed.txt")), QStringLiteral("disallowed"),
                   state.gDisallowedSites, status)
{
}

bool Module1::AddButton(SiteListStore& list, const QString& text)
{
    if (text.isEmpty() || text == u" ")
        return false;
    // The append is followed by a full rewrite, which leaves the file with its closing empty line.
    return list.add(text) && list.save();
}

bool Module1::DeleteButton(SiteListStore& list, int selectedRow)
{
    return list.removeRow(selectedRow);
}
