#include "app/network/StationMonitor.h"

#include "app/network/QuorvelDoc.h"
#include "app/shell/LineClient.h"
#include "app/shell/Preferences.h"
#include "network/ZarnPort.h"

#include <algorithm>

CStationMonitor::CStationMonitor(CLineClient& line, QObject* pParent)
    : QObject(pParent), m_line(line) {
    connect(&m_timer, &QTimer::timeout, this, &CStationMonitor::SweepStep);
    connect(&line, &CLineClient::LineStateChanged, this, &CStationMonitor::OnLineState);
    if (line.GetState() == CLineWorker::LineState::lost) {
        m_status.NoteLineLost(std::chrono::system_clock::now());
    }
    LoadSettings();
}

void CStationMonitor::OnLineState(CLineWorker::LineState state) {
    const auto now = std::chrono::system_clock::now();
    if (state == CLineWorker::LineState::lost) {
        m_nCatchUp = 0;
        m_status.NoteLineLost(now);
    } else if (m_status.IsLineLost()) {
        m_status.NoteLineBack(now);
        CQuorvelDoc* pDoc = m_findDoc ? m_findDoc() : nullptr;
        if (m_nSweepSeconds != 0 && pDoc != nullptr) {
            m_nCatchUp = pDoc->GetPresses().size();
            m_nNext = 0;
            SweepStep();
        }
    }
    emit Changed();
}

void CStationMonitor::LoadSettings() {
    const CPreferences prefs = CPreferences::Load();
    CStationStatus::Thresholds thresholds;
    thresholds.dCpk = prefs.m_dCpkAlarm;
    thresholds.dBadPercent = prefs.m_dBadAlarm;
    thresholds.nMinCrimps = prefs.m_nMinCrimps;
    m_status.SetThresholds(thresholds);
    if (prefs.m_nSweepSeconds != m_nSweepSeconds || !m_timer.isActive()) {
        SetSweepSeconds(prefs.m_nSweepSeconds);
    }
    emit Changed();
}

void CStationMonitor::SetSweepSeconds(unsigned nSeconds) {
    m_nSweepSeconds = nSeconds;
    Restart();
}

void CStationMonitor::Restart() {
    m_timer.stop();
    if (m_nSweepSeconds == 0) {
        return;
    }
    CQuorvelDoc* pDoc = m_findDoc ? m_findDoc() : nullptr;
    const std::size_t nStations =
        pDoc != nullptr ? std::max<std::size_t>(pDoc->GetPresses().size(), 1) : 12;
    // Each station once a period, spread evenly; never more than one test a second.
    const auto interval =
        std::max<long long>(1000, m_nSweepSeconds * 1000LL / static_cast<long long>(nStations));
    m_timer.start(static_cast<int>(std::min<long long>(interval, 24LL * 3600 * 1000)));
}

void CStationMonitor::NoteReading(int nNodeID, const CStats* pStats) {
    m_status.NoteReading(nNodeID, pStats, std::chrono::system_clock::now());
    emit Changed();
}

void CStationMonitor::SweepStep() {
    CQuorvelDoc* pDoc = m_findDoc ? m_findDoc() : nullptr;
    if (pDoc == nullptr || m_bAsking || pDoc->GetPresses().empty()) {
        return;
    }
    const auto& presses = pDoc->GetPresses();
    if (m_nNext >= presses.size()) {
        m_nNext = 0;
        Restart(); // the layout may have grown or shrunk
    }
    const int nNodeID = presses[m_nNext++]->GetNodeID();
    const auto node = static_cast<unsigned char>(nNodeID);
    m_bAsking = true;
    m_line.Post(
        this, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
        [this, nNodeID](const CLineClient::Result& result) {
            m_bAsking = false;
            // A line that is down, or a port that never opened, says nothing about the analyser.
            if (result.outcome == CLineClient::Outcome::cancelled ||
                result.outcome == CLineClient::Outcome::lineDown ||
                result.error == ZarnError::portClosed) {
                return;
            }
            m_status.NoteAnswer(nNodeID, result.outcome == CLineClient::Outcome::done,
                                std::chrono::system_clock::now());
            emit Changed();
            if (m_nCatchUp > 0 && --m_nCatchUp > 0) {
                SweepStep();
            }
        },
        nullptr);
}
