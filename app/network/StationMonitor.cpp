#include "app/network/StationMonitor.h"

#include "app/network/QuorvelDoc.h"
#include "app/shell/LineClient.h"
#include "app/shell/Preferences.h"
#include "network/ZarnPort.h"
#include "network/ZarndLink.h"
#include "records/Press.h"

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
    } else if (m_status.IsLineLost() && !m_bServiceLineLost) {
        m_status.NoteLineBack(now);
        CQuorvelDoc* pDoc = m_findDoc ? m_findDoc() : nullptr;
        if (m_nSweepSeconds != 0 && pDoc != nullptr) {
            m_nCatchUp = pDoc->GetPresses().size();
            m_nNext = 0;
            SweepStep();
        }
    } else if (state == CLineWorker::LineState::open && OnService() && !m_bAsking) {
        // The service knows the line already: its report is the picture at once.
        AskService();
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
    if (OnService()) {
        AskService();
        return;
    }
    AskPresence(nNodeID);
}

bool CStationMonitor::OnService() const {
    return CZarndLink::IsLinkName(m_line.GetPortName());
}

void CStationMonitor::AskService() {
    auto pReport = std::make_shared<CZarndReport>();
    m_bAsking = true;
    m_line.Post(
        this, {[pReport](CZarnPort& port) { return port.GetServiceReport(*pReport) != 0; }},
        [this, pReport](const CLineClient::Result& result) {
            m_bAsking = false;
            if (result.outcome != CLineClient::Outcome::done) {
                return;
            }
            m_nCatchUp = 0; // the report is every station's news at once
            NoteReport(*pReport, std::chrono::system_clock::now());
            // The layout's stations the service does not know are asked here, one a step.
            CQuorvelDoc* pDoc = m_findDoc ? m_findDoc() : nullptr;
            if (pDoc == nullptr || m_nSweepSeconds == 0 || m_bServiceLineLost) {
                return;
            }
            std::vector<int> own;
            for (const auto& pPress : pDoc->GetPresses()) {
                if (std::find(m_serviceNodes.begin(), m_serviceNodes.end(), pPress->GetNodeID()) ==
                    m_serviceNodes.end()) {
                    own.push_back(pPress->GetNodeID());
                }
            }
            if (!own.empty()) {
                AskPresence(own[m_nNextOwn++ % own.size()]);
            }
        },
        nullptr);
}

void CStationMonitor::NoteReport(const CZarndReport& report, CStationStatus::Time now) {
    m_strServiceHistory = report.m_strHistory;
    // The service's own line lost is the layout's lost line too. It came back after the report
    // before, so what the service learned since then counts.
    if (!report.m_bLineOpen && !m_bServiceLineLost) {
        m_bServiceLineLost = true;
        m_status.NoteLineLost(now);
    } else if (report.m_bLineOpen && m_bServiceLineLost) {
        m_bServiceLineLost = false;
        m_status.NoteLineBack(m_lastReportAt);
    }
    m_lastReportAt = now;
    m_serviceNodes.clear();
    for (const CZarndStation& station : report.m_stations) {
        if (station.m_presence == CZarndStation::Presence::unknown) {
            continue;
        }
        m_serviceNodes.push_back(station.m_nNodeID);
        const CStationStatus::Entry* pKnown = m_status.Find(station.m_nNodeID);
        if (station.m_bHasReading) {
            const auto readAt = now - std::chrono::milliseconds(station.m_nReadAgoMs);
            if (pKnown == nullptr || !pKnown->bHasReading || pKnown->readAt < readAt) {
                CStats reading = station.m_reading;
                reading.m_nNodeID = station.m_nNodeID;
                m_status.NoteReading(station.m_nNodeID, &reading, readAt);
            }
        }
        pKnown = m_status.Find(station.m_nNodeID);
        const auto askedAt = now - std::chrono::milliseconds(station.m_nAskedAgoMs);
        if (pKnown == nullptr || pKnown->askedAt < askedAt) {
            m_status.NoteAnswer(station.m_nNodeID,
                                station.m_presence == CZarndStation::Presence::answering, askedAt);
        }
    }
    emit Changed();
}

void CStationMonitor::AskPresence(int nNodeID) {
    const auto node = static_cast<unsigned char>(nNodeID);
    m_bAsking = true;
    m_line.Post(
        this, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
        [this, nNodeID](const CLineClient::Result& result) {
            m_bAsking = false;
            // A line that is down, or a port that never opened, says nothing about the analyser.
            // Nor does the line service's own line lost.
            if (result.outcome == CLineClient::Outcome::cancelled ||
                result.outcome == CLineClient::Outcome::lineDown ||
                result.error == ZarnError::portClosed || result.error == ZarnError::lineLost) {
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
