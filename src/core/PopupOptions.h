#pragma once

// The options the popup decision reads afresh on every request; the main window's boxes answer them.
class PopupOptions {
public:
    virtual ~PopupOptions() = default;
    virtual bool PopupBlocking() const = 0; // Check1
    virtual bool SetupMode() const = 0;     // Check2
    virtual bool BlockSound() const = 0;    // Check5
    virtual bool LinkException() const = 0; // Check6
};
