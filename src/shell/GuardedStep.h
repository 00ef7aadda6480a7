#pragma once

#include <functional>

// Runs one step of a window's load that may fail without stopping the rest: a failure is logged as
// "<who> goes on without <what>: <reason>" and the caller goes on with its next step.
void runGuarded(const char* who, const char* what, const std::function<void()>& step);
