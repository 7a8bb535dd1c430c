#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

enum class ZarnctlCommand {
    none,
    help,
    version,
    ping,
    scan,
    get,
    set,
    reset,
    reference,
    curve,
    batch,
    stats,
    ports,
    exportFile,
    history
};

// zarnctl's command line: the options, the command and its checked arguments. Parse accepts
// the options anywhere on the line; everything it lets through is in range, so the commands
// never see a malformed node ID or value.
class CCommandLine {
public:
    static constexpr const char* kDefaultPort = "COM1";
    static constexpr unsigned kDefaultFirst = 1;
    static constexpr unsigned kDefaultLast = 254;
    // scan: the analyser exchange's own receive time-out, unless --timeout gives another.
    static constexpr unsigned kDefaultTimeoutMs = 1200;
    static constexpr unsigned kMaxTimeoutMs = 60000;

    // 1 when the line is usable, 0 for a usage error (GetError tells what is wrong).
    int Parse(const std::vector<std::string>& args);
    const std::string& GetError() const { return m_strError; }

    // The usage line of the command given (the general one when there is none).
    std::string GetUsageLine() const;
    static std::string GetHelpText();

    // A number in decimal or 0x hexadecimal, 0 to max; 1 if valid.
    static int ParseNumber(const std::string& text, unsigned long max, unsigned long& value);
    // "FIRST-LAST" or a single node ID; 1 if valid and FIRST is not above LAST.
    static int ParseRange(const std::string& text, unsigned& first, unsigned& last);

    ZarnctlCommand m_command = ZarnctlCommand::none;
    std::string m_strCommand;
    std::string m_strPort = kDefaultPort;
    bool m_bJson = false;
    bool m_bYes = false;
    bool m_bReference = false;
    std::vector<unsigned> m_nodes;     // every command that talks to analysers names at least one
    std::string m_strWhat;             // get and set: lower case
    unsigned m_nValue = 0;             // set
    unsigned m_nFirst = kDefaultFirst; // scan
    unsigned m_nLast = kDefaultLast;
    unsigned m_nTimeoutMs = kDefaultTimeoutMs; // scan
    bool m_bTimeout = false;                   // --timeout was given
    bool m_bCsv = false;
    std::string m_strSave;    // curve, batch: the .cur or .buf file to write
    std::string m_strStation; // curve, batch: the station name for the file; history: a filter
    std::string m_strFile;    // export
    // history
    int m_nHistoryNode = -1;
    std::int64_t m_nSince = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_nUntil = std::numeric_limits<std::int64_t>::max();
    std::string m_strKind = "stats";
    std::string m_strDb;
    unsigned m_nLimit = 0;

private:
    int Fail(const std::string& error);
    int ParseNode(const std::string& text, unsigned& node);
    int ParseValueOption(const std::string& option, const std::string& value);
    int ParseCommandArgs(const std::vector<std::string>& positional);
    // The options that belong to some commands only; 1 when each goes with this one.
    int CheckOptionsFit();

    // Which of the command-specific options were given.
    bool m_bNodeOption = false;
    bool m_bSinceOrUntil = false;
    bool m_bKind = false;
    bool m_bDb = false;
    bool m_bLimit = false;

    std::string m_strError;
};
