#include "Module1.h"

#include "DecisionState.h"

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
    // The append is followed by a full rewrite, which leaves the file with its closing empty line.
    return list.addTyped(text) && list.save();
}

bool Module1::DeleteButton(SiteListStore& list, int selectedRow)
{
    return list.removeRow(selectedRow);
}

bool Module1::CreateMissingFiles(const QString& websiteHost, QString* error)
{
    if (!QDir().mkpath(m_dataFolder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(m_dataFolder);
        return false;
    }
    QString reason;
    if (!m_allowed.createIfMissing(websiteHost.toUtf8() + "\r\n", &reason)) {
        *error = QStringLiteral("cannot create %1: %2").arg(m_allowed.path(), reason);
        return false;
    }
    if (!m_disallowed.createIfMissing("\r\n", &reason)) {
        *error = QStringLiteral("cannot create %1: %2").arg(m_disallowed.path(), reason);
        return false;
    }
    return true;
}
