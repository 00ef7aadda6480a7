#include "Module1.h"

#include "DecisionState.h"
#include "UserFile.h"

#include <QDir>

Module1::Module1(DecisionState& state, const QString& dataFolder, StatusSink& status)
    : m_dataFolder(dataFolder)
    , m_allowed(QDir(dataFolder).filePath(QStringLiteral("allowed.txt")), QStringLiteral("allowed"),
                state.gAllowedSites, status)
    , m_disallowed(QDir(dataFolder).filePath(QStringLiteral("disallowed.txt")), QStringLiteral("disallowed"),
                   state.gDisallowedSites, status)
{}

bool Module1::AddButton(SiteListStore& list, const QString& text)
{
    return list.addTyped(text);
}

bool Module1::DeleteButton(SiteListStore& list, int selectedRow)
{
    return list.removeRow(selectedRow);
}

bool Module1::CreateMissingFiles(const QString& websiteHost, QString* error)
{
    return UserFile::makeFolders(m_dataFolder, error) &&
           m_allowed.createIfMissing(websiteHost.toUtf8() + "\r\n", error) &&
           m_disallowed.createIfMissing("\r\n", error);
}
