#pragma once

// Lets the events that are already waiting run once, so the screen and other windows keep up while a
// handler goes on; it never waits for new ones.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void ProcessPending() = 0;
};
