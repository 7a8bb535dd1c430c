#include "history/HistoryStatus.h"

namespace {

std::string Records(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

} // namespace

bool CHistoryStatus::IsProblem() const {
    return m_state == State::holding || m_state == State::failed || m_nDropped != 0 ||
           m_nUnreadable != 0 || m_server == Server::unreachable || m_server == Server::refused;
}

std::string CHistoryStatus::GetText() const {
    std::string text;
    switch (m_state) {
    case State::off:
        return m_strProblem.empty() ? "History off" : "History off: " + m_strProblem;
    case State::failed:
        return "History off: " + m_strProblem;
    case State::opening:
        text = "History: opening the history file " + m_strLocalPath;
        break;
    case State::holding:
        text = "History: " + m_strProblem + "; " + Records(m_nHeld) + " held in memory";
        break;
    case State::ok:
        switch (m_server) {
        case Server::none:
            text = "History: " + m_strLocalPath;
            break;
        case Server::connecting:
            text = "History: connecting to " + m_strServer;
            break;
        case Server::online:
            text = "History: " + m_strServer;
            break;
        case Server::unreachable:
            text = "History: the plant database cannot be reached (" + m_strServerError + ")";
            break;
        case Server::refused:
            text = "History: the plant database refused the records (" + m_strServerError + ")";
            break;
        }
        break;
    }
    if (m_server != Server::none && m_server != Server::online && m_nWaiting != 0) {
        text += "; " + Records(m_nWaiting) + " waiting in the local file";
    }
    if (m_nUnreadable != 0) {
        text += "; " + Records(m_nUnreadable) + " cannot be read from the local file";
    }
    if (m_nDropped != 0) {
        text += "; " + Records(m_nDropped) + " lost";
    }
    return text;
}
