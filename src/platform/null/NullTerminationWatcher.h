#pragma once

#include "TerminationWatcher.h"

// Never reports anything: for tests and systems without termination signals.
class NullTerminationWatcher : public TerminationWatcher {
    Q_OBJECT
public:
    using TerminationWatcher::TerminationWatcher;
};
