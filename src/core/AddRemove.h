#pragma once

#include "Registry.h"

#include <QString>

// The registry helper of the main window: the program's Run value, which starts it at log-in. It holds no
// state but the registry it works on.
//
// Text crosses the registry as UTF-8 bytes followed by a terminating zero, standing in for the ANSI code
// page of Windows. Each call returns the code of its first failing step (or of the last step); the
// run-at-start-up option looks at it to tell the user the truth.
class AddRemove {
public:
    explicit AddRemove(Registry& registry);

    // The Run value ProgramName = FileToRun, made with every missing key on the Run key's path.
    // RemoveFromRun answers Success when no such value is left, including when there was none.
    RegResult AddToRun(const QString& ProgramName, const QString& FileToRun);
    RegResult RemoveFromRun(const QString& ProgramName);

private:
    Registry& m_registry;
};
