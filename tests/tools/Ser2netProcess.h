#pragma once

// ser2net as a device server for tests and benchmarks: found where Debian installs it, started
// on a configuration of its own for one pseudo-terminal, stopped again.

#include "tests/serial/LoopbackListener.h"
#include "testsupport/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// The ser2net program, or empty when it is not installed.
inline std::string FindSer2net() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net",
                             "/usr/local/bin/ser2net"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// Whether something listens on 127.0.0.1:port (or on every address), from the kernel's table:
// asking by connecting would make a device server open the line for nothing.
inline bool IsListening(unsigned port) {
    char loopback[32];
    char any[32];
    std::snprintf(loopback, sizeof loopback, "0100007F:%04X", port);
    std::snprintf(any, sizeof any, "00000000:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if ((address == loopback || address == any) && state == "0A") {
            return true;
        }
    }
    return false;
}

// ser2net serving one pseudo-terminal on a free loopback port, in raw or in telnet(rfc2217)
// mode, from a configuration of its own; stopped by the destructor.
class CSer2net {
public:
    using Clock = std::chrono::steady_clock;

    CSer2net(const std::string& program, const std::string& device, bool bTelnet)
        : m_bTelnet(bTelnet) {
        m_dir = std::filesystem::temp_directory_path() /
                ("zarn-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(s_nCount++));
        std::filesystem::create_directories(m_dir);
        {
            CLoopbackListener probe; // a port that was free a moment ago
            m_nPort = probe.m_nPort;
        }
        std::ofstream(m_dir / "ser2net.yaml")
            << "connection: &line\n"
            << "    accepter: " << (bTelnet ? "telnet(rfc2217)," : "") << "tcp,127.0.0.1,"
            << m_nPort << "\n"
            << "    connector: serialdev," << device << ",57600n81,local\n";
        const std::string config = (m_dir / "ser2net.yaml").string();
        const std::string pidFile = (m_dir / "ser2net.pid").string();
        const std::string log = (m_dir / "ser2net.log").string();
        std::vector<std::string> args = {program, "-n", "-u", "-c", config, "-P", pidFile};
        CChildProcess::Options options;
        options.strLog = log;
        options.bPipeOut = false;
        if (!m_child.Start(args, options)) {
            return;
        }
        const auto start = Clock::now();
        while (!IsListening(m_nPort) && MsSince(start) < 5000) {
            if (m_child.Wait(10) >= 0) {
                return; // it gave up: the log says why
            }
        }
    }
    ~CSer2net() {
        m_child.Signal(SIGTERM);
        m_child.Wait(3000); // one that takes longer is killed with m_child
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    bool Ready() const { return m_child.Pid() > 0 && IsListening(m_nPort); }
    // The port name a controller opens.
    std::string Url() const {
        return std::string(m_bTelnet ? "rfc2217" : "socket") +
               "://127.0.0.1:" + std::to_string(m_nPort);
    }
    static long MsSince(Clock::time_point t) {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
    }
    std::string Log() const {
        std::ifstream in(m_dir / "ser2net.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    unsigned m_nPort = 0;

private:
    static inline int s_nCount = 0;
    bool m_bTelnet;
    std::filesystem::path m_dir;
    CChildProcess m_child;
};
