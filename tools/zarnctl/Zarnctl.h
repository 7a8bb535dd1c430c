#pragma once

#include "tools/zarnctl/CommandLine.h"

#include <iosfwd>
#include <string>
#include <vector>

class CJsonWriter;
class CStats;
class CZarnPort;

// The command-line controller: runs one zarnctl command line against the analysers on one
// serial port and reports on the given streams, as text for people or as one JSON document.
class CZarnctl {
public:
    static constexpr int kExitOk = 0; // every request succeeded
    // an analyser request failed (or was not confirmed), or noise may have changed an analyser
    static constexpr int kExitFailed = 1;
    static constexpr int kExitUsage = 2; // the command line is wrong
    static constexpr int kExitPort = 3;  // the port cannot be opened

    static constexpr unsigned long kBaudRate = 57600;
    // Room for batch entries, as much as the controller's batch window holds.
    static constexpr unsigned kBatchCapacity = 1000;

    // With a terminal on standard error the scan shows its progress on one updating line.
    void SetStderrIsTerminal(bool terminal) { m_bStderrTerminal = terminal; }

    // args excludes the program name. Returns the exit status.
    int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, bool stdinIsTerminal);

private:
    int RunCommand(const std::vector<std::string>& args);
    int UsageError(const std::string& message);
    int OpenPort(CZarnPort& port);
    int Ports();
    int Ping(CZarnPort& port);
    int Scan(CZarnPort& port);
    int Get(CZarnPort& port);
    int Set(CZarnPort& port);
    int Order(CZarnPort& port);
    int Curve(CZarnPort& port);
    int Batch(CZarnPort& port);
    int Stats(CZarnPort& port);
    int Export();
    int History();
    // The whole curve download of the program's curve window, for --save and --csv.
    int FullCurve(CZarnPort& port);
    // Writes a download's file for --save; false (and the reason on standard error) when the
    // file cannot be written.
    bool SaveFile(const std::string& kind, bool ok, const std::string& reason);
    std::string StationName(unsigned node) const;

    // Asks on the terminal; 1 when the answer is y or yes.
    int Confirm(const std::string& question);
    void ShowProgress(const std::string& text);
    void ClearProgress();
    void Emit(const CJsonWriter& json);
    void ReportFailure(unsigned node, const std::string& action, const std::string& reason);
    // Why the port's last request failed. Warns on standard error when noise made the line
    // carry a request that changes an analyser; the run then exits kExitFailed.
    std::string FailureReason(const CZarnPort& port);
    // {"node": n, "ok": b} with the reason of a failure, for commands on one node.
    void EmitNodeResult(unsigned node, bool ok, const std::string& reason);
    // The outcome of a set, reset or reference: doneText after the node's label on success,
    // the failure of action otherwise. Returns the exit status.
    int ReportOrder(const CZarnPort& port, unsigned node, int ok, const std::string& doneText,
                    const std::string& action);

    static void WriteStatsMembers(CJsonWriter& json, const CStats& stats);

    CCommandLine m_cmd;
    std::istream* m_pIn = nullptr;
    std::ostream* m_pOut = nullptr;
    std::ostream* m_pErr = nullptr;
    bool m_bStdinTerminal = false;
    bool m_bStderrTerminal = false;
    std::size_t m_nProgressWidth = 0; // characters of the progress line now shown
    bool m_bCarriedChange = false;    // a request may have changed an analyser unasked
};
