#pragma once

#include <string>
#include <vector>

// A throw-away PostgreSQL cluster for one test: initdb in a temporary folder, a server on a
// free loopback port, stopped and removed afterwards. Run as root, the cluster belongs to the
// unprivileged user nobody, as the server refuses to run as root.
class CTempPostgres {
public:
    static constexpr const char* kBinDir = "/usr/lib/postgresql/15/bin";
    static constexpr const char* kUser = "quorvel";
    static constexpr const char* kPassword = "crimp-secret";

    CTempPostgres();
    ~CTempPostgres();
    CTempPostgres(const CTempPostgres&) = delete;
    CTempPostgres& operator=(const CTempPostgres&) = delete;

    // Whether the server programs are installed at all; the reason when not.
    static bool IsInstalled(std::string* reason);

    // Creates the cluster; false with GetError.
    bool Create();
    // The tests' server skips fsync; a benchmark of commits wants it.
    bool Start(bool fsync = false);
    bool Stop();
    const std::string& GetError() const { return m_strError; }

    std::string Url(const std::string& password = kPassword) const;
    int Port() const { return m_nPort; }

private:
    // Runs a server program (as nobody when we are root); its exit status, -1 when it could
    // not be started. Its output goes to the cluster's log.
    int RunTool(const std::vector<std::string>& args);

    std::string m_strDir;
    std::string m_strError;
    int m_nPort = 0;
    bool m_bRunning = false;
};
