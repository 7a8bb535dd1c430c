#include "tests/history/TempPostgres.h"

#include "testsupport/ChildProcess.h"
#include "testsupport/Loopback.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace

CTempPostgres::CTempPostgres() = default;

CTempPostgres::~CTempPostgres() {
    if (m_bRunning) {
        Stop();
    }
    if (!m_strDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_strDir, ignored);
    }
}

bool CTempPostgres::IsInstalled(std::string* reason) {
    for (const char* tool : {"initdb", "pg_ctl", "postgres"}) {
        const std::string path = std::string(kBinDir) + "/" + tool;
        if (::access(path.c_str(), X_OK) != 0) {
            if (reason != nullptr) {
                *reason = "PostgreSQL 15 server is not installed (" + path + " missing)";
            }
            return false;
        }
    }
    if (RunningAsRoot() && ::access("/usr/sbin/runuser", X_OK) != 0 &&
        ::access("/sbin/runuser", X_OK) != 0) {
        if (reason != nullptr) {
            *reason = "runuser is missing, and the server refuses to run as root";
        }
        return false;
    }
    return true;
}

int CTempPostgres::RunTool(const std::vector<std::string>& args) {
    std::vector<std::string> argStrings;
    if (RunningAsRoot()) {
        argStrings = {"runuser", "-u", "nobody", "--"};
    }
    argStrings.push_back(std::string(kBinDir) + "/" + args[0]);
    argStrings.insert(argStrings.end(), args.begin() + 1, args.end());
    CChildProcess::Options options;
    options.strLog = m_strDir + "/tools.log";
    options.bPipeOut = false;
    options.bSearchPath = true;
    CChildProcess tool;
    if (!tool.Start(argStrings, options)) {
        m_strError = tool.Error();
        return -1;
    }
    // Each tool has time limits of its own (pg_ctl -t); a day is only a backstop.
    const int status = tool.Wait(24 * 3600 * 1000);
    const int code = status < 128 ? status : -1;
    const std::string log = options.strLog;
    if (code != 0) {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        m_strError = args[0] + " failed (" + std::to_string(code) +
                     "): " + text.substr(text.size() > 2000 ? text.size() - 2000 : 0);
    }
    return code;
}

bool CTempPostgres::Create() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorvel-pg-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_strError = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    m_strDir = pattern;
    if (RunningAsRoot()) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr || ::chown(m_strDir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_strError = "cannot hand the cluster folder to nobody";
            return false;
        }
    }
    {
        std::ofstream pw(m_strDir + "/pw");
        pw << kPassword << '\n';
    }
    ::chmod((m_strDir + "/pw").c_str(), 0644);
    m_nPort = FreeLoopbackPort();
    if (m_nPort == 0) {
        m_strError = "no free loopback port";
        return false;
    }
    // Passwords on every connection, so that a wrong one is refused as on a plant server.
    return RunTool({"initdb", "-D", m_strDir + "/data", "-U", kUser, "--pwfile=" + m_strDir + "/pw",
                    "--auth=scram-sha-256", "-E", "UTF8", "--no-sync", "--locale=C"}) == 0;
}

bool CTempPostgres::Start(bool fsync) {
    const std::string options =
        "-p " + std::to_string(m_nPort) + " -k " + m_strDir +
        " -c listen_addresses=127.0.0.1 -c fsync=" + (fsync ? "on" : "off") +
        " -c shared_buffers=256MB";
    if (RunTool({"pg_ctl", "-D", m_strDir + "/data", "-l", m_strDir + "/server.log", "-w", "-t",
                 "60", "-o", options, "start"}) != 0) {
        return false;
    }
    m_bRunning = true;
    return true;
}

bool CTempPostgres::Stop() {
    const bool ok =
        RunTool({"pg_ctl", "-D", m_strDir + "/data", "-m", "fast", "-w", "-t", "60", "stop"}) == 0;
    m_bRunning = !ok;
    return ok;
}

std::string CTempPostgres::Url(const std::string& password) const {
    return "postgresql://" + std::string(kUser) + ":" + password +
           "@127.0.0.1:" + std::to_string(m_nPort) + "/postgres";
}
