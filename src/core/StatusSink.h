#pragma once

#include <QString>

// Where messages for the user go: panel 2 of the main window's status bar, or standard error headless.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void ShowStatus(const QString& text) = 0;
};
