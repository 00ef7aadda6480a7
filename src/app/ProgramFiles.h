#pragma once

#include "BlockingEngine.h"

#include <QString>

#include <memory>

class LoopbackHttpServer;
class QTextStream;

// Where the program keeps and finds its files, for both of its faces.
namespace ProgramFiles {

// The engine on the user's own settings ($XDG_CONFIG_HOME/<product>/<product>.ini) and lists
// ($XDG_DATA_HOME/<product>/), with the shipped block sound. Without settings, and the path with the reason in
// *error, when the settings path holds something other than a regular file or a link to one.
BlockingEngine::Setup userSetup(QString* error);
// The engine on settings and lists in a folder of its own, which the user's are never touched by.
BlockingEngine::Setup setupIn(const QString& folder);

// The demo site served on loopback from the shipped pages; nullptr, with the reason said on err, when it
// cannot be served.
std::unique_ptr<LoopbackHttpServer> serveDemoSite(QTextStream& err);

} // namespace ProgramFiles
