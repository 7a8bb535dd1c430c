#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program the tests start and stop: standard input on /dev/null, standard output on a pipe the
// test reads lines from (or on a log file), standard error on the log file or discarded. A child
// still running when the object goes is killed, so a failed test leaves nothing behind.
class CChildProcess {
public:
    struct Options {
        std::vector<std::string> env; // NAME=VALUE added to (or replacing) the environment
        std::string strDir;           // working folder; empty for the test's own
        std::string strLog;           // standard error, and output unless piped; empty: discarded
        bool bPipeOut = true;         // standard output on a pipe for ReadLine
        bool bSearchPath = false;     // look the program up in PATH
    };

    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // argv[0] is the program. False with Error() set when it could not be started.
    bool Start(const std::vector<std::string>& argv, const Options& options);
    bool Start(const std::vector<std::string>& argv) { return Start(argv, Options{}); }
    const std::string& Error() const { return m_strError; }
    pid_t Pid() const { return m_pid; }

    // The next line of standard output without its end; false when none came by the deadline or
    // the output ended.
    bool ReadLine(std::string& line, int timeoutMs);
    // Waits for the end: the exit status, 128 + the signal's number for a killed child, or -1
    // when it has not ended by the deadline (it then runs on).
    int Wait(int timeoutMs);
    void Signal(int sig);

private:
    pid_t m_pid = -1;
    int m_nOut = -1;
    std::string m_strPending;
    std::string m_strError;
};

// What a program that runs to its end left behind.
struct ProgramResult {
    int nExit = -1; // -1: did not exit normally
    std::string strOut;
    std::string strErr;
    std::string strError; // why it did not run to its end; empty when it did
};

// Runs a program to its end with standard input on /dev/null, collecting both outputs. One that
// has not ended by the deadline is killed.
ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 60000);
