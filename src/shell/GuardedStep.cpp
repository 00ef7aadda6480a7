#include "GuardedStep.h"

#include <QtDebug>

#include <exception>

void runGuarded(const char* who, const char* what, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& failure) {
        qWarning("%s goes on without %s: %s", who, what, failure.what());
    } catch (...) {
        qWarning("%s goes on without %s", who, what);
    }
}
