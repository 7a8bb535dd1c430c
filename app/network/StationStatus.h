#pragma once

#include "network/Stats.h"

#include <chrono>
#include <map>
#include <string>

class CPress;

// What the program last learnt of each analyser on the line, for the layout's badges: whether
// it answered its last request and its last statistics. Fed by the statistics polling and the
// layout's slow presence sweep; keyed by node ID.
class CStationStatus {
public:
    using Time = std::chrono::system_clock::time_point;

    enum class State { unknown, answering, silent, alarm, lineLost };

    // An analyser is in alarm when its Cpk is below dCpk or its share of bad crimps above
    // dBadPercent (a batch without crimps is never in alarm).
    // Cp and Cpk say little of a few crimps: below nMinCrimps they are neither coloured nor
    // raise an alarm.
    struct Thresholds {
        double dCpk = 1.33;
        double dBadPercent = 2.0;
        unsigned nMinCrimps = 25;
    };

    struct Entry {
        bool bAnswering = false;
        bool bHasReading = false;
        CStats reading;
        Time readAt{};
        Time askedAt{};
    };

    void SetThresholds(const Thresholds& thresholds) { m_thresholds = thresholds; }
    const Thresholds& GetThresholds() const { return m_thresholds; }

    // The outcome of a presence test.
    void NoteAnswer(int nNodeID, bool bAnswered, Time when);
    // The outcome of a statistics request: the record, or null when the analyser was silent.
    void NoteReading(int nNodeID, const CStats* pStats, Time when);

    // While the line is lost nothing is known of any analyser; once it is back, each one's
    // state is known again from its first answer.
    void NoteLineLost(Time when);
    void NoteLineBack(Time when);
    bool IsLineLost() const { return m_bLineLost; }

    State GetState(int nNodeID) const;
    const Entry* Find(int nNodeID) const;
    bool IsAlarm(const CStats& stats) const;

    // The station's tool tip: node, terminal, wire, and the last reading with its time.
    std::string Describe(const CPress& press) const;
    static const char* StateName(State state);

private:
    Thresholds m_thresholds;
    std::map<int, Entry> m_entries;
    bool m_bLineLost = false;
    Time m_lostSince{};
    Time m_backAt{}; // answers before this came before the line was lost
};
