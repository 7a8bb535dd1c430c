#pragma once

#include <cstdint>
#include <string>

// Where the history store stands, for the status bar and the History Settings dialog.
class CHistoryStatus {
public:
    enum class State {
        off,     // not opened, or closed
        opening, // the local file is being opened: records wait in memory
        ok,      // recording
        holding, // the local file takes nothing (full disk): records held in memory
        failed,  // the local file cannot be used: nothing is recorded
    };
    enum class Server {
        none,        // no plant database is configured
        connecting,  // not yet connected
        online,      // connected; records go there
        unreachable, // cannot be reached: records wait in the local file
        refused,     // refused the login or the records: records wait in the local file
    };

    State m_state = State::off;
    Server m_server = Server::none;
    std::string m_strLocalPath;
    std::string m_strServer;       // the plant database's URL without its password
    std::string m_strProblem;      // the local file's problem, when there is one
    std::string m_strServerError;  // the plant database's last error
    std::uint64_t m_nHeld = 0;     // records held in memory
    std::uint64_t m_nDropped = 0;  // records lost since the store was opened
    std::uint64_t m_nWaiting = 0;  // records in the local file waiting for the plant database
    std::uint64_t m_nRecorded = 0; // records written to the local file since opening
    // Records in the local file that cannot be read to be sent: kept for another attempt.
    std::uint64_t m_nUnreadable = 0;

    // One line for the status bar, e.g. "History: plant database unreachable, 12 records
    // waiting".
    std::string GetText() const;
    // Whether something is wrong that the operator should be told about.
    bool IsProblem() const;

    bool operator==(const CHistoryStatus&) const = default;
};
