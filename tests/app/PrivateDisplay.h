#pragma once

#include "testsupport/ChildProcess.h"

#include <string>

// An X server of the test's own (Xvfb on a free display), so that a test can see the windows of
// a program it started in another process: windows are found by title with xdotool.
class CPrivateDisplay {
public:
    // Starts the server; Error() says why when it is not usable.
    CPrivateDisplay();
    ~CPrivateDisplay();
    CPrivateDisplay(const CPrivateDisplay&) = delete;
    CPrivateDisplay& operator=(const CPrivateDisplay&) = delete;
    // Xvfb and xdotool are there; a test without them skips.
    bool IsInstalled() const { return m_bInstalled; }
    bool IsReady() const { return !m_strDisplay.empty(); }
    const std::string& Error() const { return m_strError; }
    // ":N", for the DISPLAY of the programs that show on it.
    const std::string& Name() const { return m_strDisplay; }

    // Waits until a visible window whose whole title matches the extended regular expression
    // exists; false when none has by the deadline.
    bool WaitForWindow(const std::string& strTitleRegex, int timeoutMs);

private:
    CChildProcess m_server;
    std::string m_strDisplay;
    std::string m_strError;
    bool m_bInstalled = false;
};
