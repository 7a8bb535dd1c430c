#include "app/network/StationStatus.h"

#include "app/stats/StatsFormat.h"
#include "records/Press.h"
#include "records/StationAlarm.h"

void CStationStatus::NoteAnswer(int nNodeID, bool bAnswered, Time when) {
    Entry& entry = m_entries[nNodeID];
    entry.bAnswering = bAnswered;
    entry.askedAt = when;
}

void CStationStatus::NoteReading(int nNodeID, const CStats* pStats, Time when) {
    Entry& entry = m_entries[nNodeID];
    entry.bAnswering = pStats != nullptr;
    entry.askedAt = when;
    if (pStats != nullptr) {
        entry.bHasReading = true;
        entry.reading = *pStats;
        entry.readAt = when;
    }
}

const CStationStatus::Entry* CStationStatus::Find(int nNodeID) const {
    auto it = m_entries.find(nNodeID);
    return it != m_entries.end() ? &it->second : nullptr;
}

bool CStationStatus::IsAlarm(const CStats& stats) const {
    return CStationAlarm{m_thresholds.dCpk, m_thresholds.dBadPercent, m_thresholds.nMinCrimps}
        .IsAlarm(stats);
}

void CStationStatus::NoteLineLost(Time when) {
    if (!m_bLineLost) {
        m_bLineLost = true;
        m_lostSince = when;
    }
}

void CStationStatus::NoteLineBack(Time when) {
    if (m_bLineLost) {
        m_bLineLost = false;
        m_backAt = when;
    }
}

CStationStatus::State CStationStatus::GetState(int nNodeID) const {
    if (m_bLineLost) {
        return State::lineLost;
    }
    const Entry* entry = Find(nNodeID);
    if (entry == nullptr || entry->askedAt < m_backAt) {
        return State::unknown;
    }
    if (!entry->bAnswering) {
        return State::silent;
    }
    return entry->bHasReading && IsAlarm(entry->reading) ? State::alarm : State::answering;
}

const char* CStationStatus::StateName(State state) {
    switch (state) {
    case State::answering:
        return "Answering";
    case State::silent:
        return "Not answering";
    case State::alarm:
        return "Alarm";
    case State::lineLost:
        return "Line lost";
    default:
        return "Not yet known";
    }
}

std::string CStationStatus::Describe(const CPress& press) const {
    const int nNodeID = press.GetNodeID();
    std::string text = press.GetName() + "\nNode " + std::to_string(nNodeID);
    // A line with nothing after its heading says nothing.
    if (!press.GetTerminalType().empty()) {
        text += "\nTerminal: " + press.GetTerminalType();
    }
    if (!press.GetWireType().empty()) {
        text += "\nWire: " + press.GetWireType();
    }
    const Entry* entry = Find(nNodeID);
    std::string reading;
    if (entry != nullptr && entry->bHasReading) {
        const CStats& s = entry->reading;
        const int nTotal = CStatsFormat::Total(s);
        reading = CStatsFormat::FormatTime(entry->readAt) + ": " + std::to_string(s.m_nGood) +
                  " good, " + std::to_string(s.m_nBad) + " bad (" +
                  CStatsFormat::FormatPercent(CStatsFormat::Percent(s.m_nBad, nTotal)) + "), Cp " +
                  CStatsFormat::FormatValue(s.m_fCp) + ", Cpk " +
                  CStatsFormat::FormatValue(s.m_fCpk);
    }
    if (m_bLineLost) {
        // What was last learnt is history now: said as such, on the same line.
        return text + "\nLine lost since " + CStatsFormat::FormatTime(m_lostSince) +
               (reading.empty() ? "; no reading yet" : "; last reading " + reading);
    }
    text += std::string("\n") + StateName(GetState(nNodeID));
    if (!reading.empty()) {
        text += "\nLast reading " + reading;
    }
    return text;
}
