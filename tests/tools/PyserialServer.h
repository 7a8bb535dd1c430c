#pragma once

// pyserial's example RFC 2217 server as a second device server: it serves a serial URL of
// pyserial's (here socket://, the simulator's TCP line) on a free port, one client at a time.

#include "tests/tools/Ser2netProcess.h"

#include <string>
#include <unistd.h>

// The example server as Debian installs it (python3-serial), or empty when it is missing.
inline std::string FindPyserialServer() {
    const char* script = "/usr/share/doc/python3-serial/examples/rfc2217_server.py";
    if (::access("/usr/bin/python3", X_OK) != 0 || ::access(script, R_OK) != 0) {
        return {};
    }
    // The example needs the module beside it.
    const ProgramResult probe = RunProgram({"/usr/bin/python3", "-c", "import serial.rfc2217"});
    return probe.nExit == 0 ? script : std::string();
}

class CPyserialServer {
public:
    using Clock = std::chrono::steady_clock;

    CPyserialServer(const std::string& script, const std::string& serialUrl) {
        {
            CLoopbackListener probe; // a port that was free a moment ago
            m_nPort = probe.m_nPort;
        }
        m_strLog = std::filesystem::temp_directory_path() /
                   ("zarn-pyserial-" + std::to_string(::getpid()) + ".log");
        CChildProcess::Options options;
        options.strLog = m_strLog;
        options.bPipeOut = false;
        if (!m_child.Start(
                {"/usr/bin/python3", script, "-v", "-p", std::to_string(m_nPort), serialUrl},
                options)) {
            return;
        }
        const auto start = Clock::now();
        while (!IsListening(m_nPort) && CSer2net::MsSince(start) < 5000) {
            if (m_child.Wait(10) >= 0) {
                return; // it gave up: the log says why
            }
        }
    }
    ~CPyserialServer() {
        m_child.Signal(SIGTERM);
        m_child.Wait(3000);
        std::error_code ec;
        std::filesystem::remove(m_strLog, ec);
    }
    bool Ready() const { return m_child.Pid() > 0 && IsListening(m_nPort); }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_nPort); }
    std::string Log() const {
        std::ifstream in(m_strLog);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    unsigned m_nPort = 0;
    std::string m_strLog;
    CChildProcess m_child;
};
