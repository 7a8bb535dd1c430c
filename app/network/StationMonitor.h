#pragma once

#include "app/network/StationStatus.h"
#include "network/LineWorker.h"
#include "network/ZarndReport.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class CLineClient;
class CQuorvelDoc;

// Keeps the layout's picture of the line up to date: takes in what the statistics polling
// learns, and asks every station of the layout in turn whether its analyser answers, behind
// the operator's back and one exchange at a time. Each station is asked once per sweep period
// (the setting "SweepPeriod" in seconds, 60 unless set; 0 turns the sweep off).
//
// On the line service's port the service's report takes the place of the sweep for the stations
// it polls: each step asks for the report (which costs the line nothing) and takes what is newer
// than what the program knows; only the layout's other stations are asked on the line.
class CStationMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kDefaultSweepSeconds = 60;

    CStationMonitor(CLineClient& line, QObject* pParent = nullptr);

    // The stations swept are those of the document this finds at each step (null: none); the
    // document may close before the monitor goes, so it is never kept.
    void SetDocumentFinder(std::function<CQuorvelDoc*()> find) {
        m_findDoc = std::move(find);
        Restart();
    }
    CStationStatus& GetStatus() { return m_status; }
    const CStationStatus& GetStatus() const { return m_status; }

    // The preferences: the sweep period, the alarm thresholds and the fewest crimps rated.
    void LoadSettings();
    unsigned GetSweepSeconds() const { return m_nSweepSeconds; }
    void SetSweepSeconds(unsigned nSeconds);

    void NoteReading(int nNodeID, const CStats* pStats);
    // Takes the line service's report; the time is when it arrived.
    void NoteReport(const CZarndReport& report, CStationStatus::Time now);
    // Where the line service records, as its last report said; empty before one came.
    const std::string& GetServiceHistory() const { return m_strServiceHistory; }
    // One step of the sweep: the next station's presence test (also called by the timer).
    void SweepStep();

signals:
    void Changed();

private:
    void Restart();
    // The line was lost or came back: every badge says so at once, and on its return each
    // station is asked again straight away rather than at its turn of the sweep.
    void OnLineState(CLineWorker::LineState state);
    bool OnService() const;
    void AskService();
    void AskPresence(int nNodeID);

    CLineClient& m_line;
    std::function<CQuorvelDoc*()> m_findDoc;
    CStationStatus m_status;
    QTimer m_timer;
    unsigned m_nSweepSeconds = kDefaultSweepSeconds;
    std::size_t m_nNext = 0;
    bool m_bAsking = false;
    std::size_t m_nCatchUp = 0; // stations still to ask at once after the line came back
    std::string m_strServiceHistory;
    std::vector<int> m_serviceNodes; // the stations the service's last report knew
    std::size_t m_nNextOwn = 0;      // the next of the others to ask on the line
    bool m_bServiceLineLost = false; // the service said its line is lost
    CStationStatus::Time m_lastReportAt{};
};
