#pragma once

#include <functional>

class QObject;

// SIGINT and SIGTERM turned into a call from the message loop, so that the program ends as
// File Exit does. The first signal is caught; a second one ends the process at once.
class CTerminationSignals {
public:
    // Catches the signals from now on (before the user interface exists, too).
    static bool Install();
    // Calls fn from the loop of the context's thread when a caught signal arrives, also for a
    // signal caught before this call.
    static void Connect(QObject* pContext, std::function<void()> fn);
    // Back to the default handling.
    static void Uninstall();
};
