#pragma once

#include "MessagePump.h"

// The message pump of a running Qt event loop: one bounded pass over the pending events.
class EventLoopPump : public MessagePump {
public:
    void ProcessPending() override;
};
