#include "tests/app/PrivateDisplay.h"

#include <csignal>
#include <filesystem>

namespace {

// The test's own deadline bounds every wait: xdotool's --sync alone waits for ever.
constexpr int kServerStartMs = 15000;

std::string Find(const char* program) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string path = std::string(dir) + "/" + program;
        if (std::filesystem::exists(path)) {
            return path;
        }
    }
    return std::string();
}

} // namespace

CPrivateDisplay::CPrivateDisplay() {
    const std::string xvfb = Find("Xvfb");
    if (xvfb.empty() || Find("xdotool").empty()) {
        m_strError = "Xvfb and xdotool are not installed";
        return;
    }
    m_bInstalled = true;
    // The server picks a free display and names it on its standard output once it takes
    // clients.
    if (!m_server.Start(
            {xvfb, "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"})) {
        m_strError = m_server.Error();
        return;
    }
    std::string number;
    if (!m_server.ReadLine(number, kServerStartMs) || number.empty() ||
        number.find_first_not_of("0123456789") != std::string::npos) {
        m_strError = "Xvfb did not name its display";
        return;
    }
    m_strDisplay = ":" + number;
}

CPrivateDisplay::~CPrivateDisplay() {
    // Ended in order, the server removes its lock file and socket.
    m_server.Signal(SIGTERM);
    m_server.Wait(kServerStartMs);
}

bool CPrivateDisplay::WaitForWindow(const std::string& strTitleRegex, int timeoutMs) {
    CChildProcess search;
    CChildProcess::Options options;
    options.env = {"DISPLAY=" + m_strDisplay};
    options.bSearchPath = true;
    if (!search.Start(
            {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + strTitleRegex + "$"},
            options)) {
        return false;
    }
    // Killed by its destructor when the deadline passes first.
    return search.Wait(timeoutMs) == 0;
}
