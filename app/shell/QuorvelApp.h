#pragma once

#include "app/framework/DocTemplate.h"
#include "app/framework/WinApp.h"
#include "app/shell/CommandLineInfo.h"
#include "network/LineWorker.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class CFrameWnd;
class CHistoryRecorder;
class CHistorySettings;
class CHistoryStatus;
class CLineClient;
class CStationMonitor;
class CPress;
class CZarnPort;
struct CLineJob;
class CZarnRequest;

// The program's application object: the one analyser port, the document types, the main
// window and the standing windows, and the application-level commands.
class CQuorvelApp : public CWinApp {
public:
    // Reads the port name from the settings (writing "COM1" back when it is missing) and creates
    // the port; start-up opens it on the line's thread. A port given on the command line is used
    // instead, and a simulated line's device (strSimulatedPort) is used and never stored.
    explicit CQuorvelApp(const CCommandLineInfo& cmdInfo = CCommandLineInfo(),
                         const std::string& strSimulatedPort = std::string());
    ~CQuorvelApp() override;

    bool InitInstance() override;
    bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent) override;
    int ExitInstance() override;
    void OnUserInterfaceFailed() override;

    CFrameWnd* m_pStatsFrame = nullptr;
    CZarnPort* m_pPort = nullptr;
    // The one way to the line once the program runs: every exchange goes through it.
    CLineClient* m_pLine = nullptr;
    // What is known of each analyser, for the layout's badges; lives with the line.
    CStationMonitor* m_pMonitor = nullptr;
    BOOL m_bStatsVisible = TRUE;
    CMultiDocTemplate* m_pCurveTemplate = nullptr;
    CMultiDocTemplate* m_pNetTemplate = nullptr;
    CMultiDocTemplate* m_pBatchTemplate = nullptr;
    CMultiDocTemplate* m_pStatsTemplate = nullptr;
    CMultiDocTemplate* m_pCompareTemplate = nullptr;
    CMultiDocTemplate* m_pHistoryTemplate = nullptr;

    // For the network view's commands. A group passes its job; the window calls its
    // onFinished once its download is over and its messages read.
    BOOL OpenCurveWindow(CPress* pPress);
    BOOL OpenCurveWindow(CPress* pPress, CLineJob job);
    BOOL OpenBatchWindow(CPress* pPress);
    BOOL OpenBatchWindow(CPress* pPress, CLineJob job);
    void AddToStatistics(CPress* pPress, BOOL bReport);
    void AddToStatistics(CPress* pPress, BOOL bReport, CLineJob job);
    // The Cancel command: stops the running line operation between two exchanges.
    void OnCancelLine();
    // Find Analysers: a sweep of node IDs that can add the answering ones to the layout.
    void OnFindAnalysers();

    // Commands.
    void OnSerialPortSetting();
    // History Settings: stores the choice and records on with it at once (a --history of the
    // command line keeps its target for this run).
    void OnHistorySettings();
    void ApplyHistorySettings(const CHistorySettings& settings);
    // The dialog's answer: a name that differs from the port's, byte for byte, reopens the
    // port under it on the line's thread, and so does the same name while the port is closed or
    // its line lost; message 1018 when that fails, once the open is over. True when the port is
    // being reopened.
    bool ApplyPortChoice(const std::string& strName);
    void OnAppAbout();
    void OnReloadAll();
    void OnStatisticsWindow();
    // A new compare window, holding the curves of the open curve windows.
    void OnCompareCurves();
    // F1: the operator's manual, at the page of the active window.
    void OnHelp();

    const CCommandLineInfo& GetCommandLineInfo() const { return m_cmdInfo; }
    bool IsSimulated() const { return !m_strSimulatedPort.empty(); }
    // Where the history is recorded and read: --history, else the "HistoryTarget" setting; an
    // empty text means the local file in the user's data folder.
    std::string GetHistoryTarget() const;
    // Where the History window and the curve picker read: on the line service's port where the
    // service records (when that is a database URL or a file this machine reads), else
    // GetHistoryTarget().
    std::string GetHistoryReadTarget() const;
    // What records the history; null before start-up. Its Record calls do nothing while no
    // history is being recorded.
    CHistoryRecorder* GetHistory() const { return m_pHistory.get(); }
    // Reports the time from this moment to the main window and ends the program.
    void MeasureStartup(std::chrono::steady_clock::time_point start) { m_startupBegin = start; }

private:
    CMultiDocTemplate* CreateTemplate(UINT nIDResource);
    BOOL OpenPressWindow(CMultiDocTemplate* pTemplate, CPress* pPress, CLineJob job);
    // Starts the line's thread, which owns the port from then on.
    void StartLine();
    // Lets the line's monitor sweep the layout and the layout show what it learns.
    void WatchLayout();
    // On a line service's port the service records; the program then records nothing.
    void NoteWhoRecords(const std::string& strPort);
    void OpenPortOnLine(const std::string& strName, bool bStartup);
    // Message 1018 when the port could not be opened.
    void OnPortOpened(bool bOpened);
    // A request that noise made on the line and that changes an analyser: say which station.
    void WarnOfNoise(const CZarnRequest& carried);
    // The statistics list of the last run, put back quietly for the stations the layout has.
    void RestoreStatistics();
    void StopLine();
    // Opens the history with the settings and the run's target; a file that cannot be used is
    // named in one message.
    void OpenHistory();
    void OnHistoryStatus(const CHistoryStatus& status);

    CCommandLineInfo m_cmdInfo;
    std::string m_strSimulatedPort;
    std::optional<std::chrono::steady_clock::time_point> m_startupBegin;
    bool m_bExited = false;
    // The start-up's own open may end before start-up reaches the step that tells its outcome.
    std::string m_strPortChosen; // the name last handed to the line to open
    bool m_bPortStepReached = false;
    std::optional<bool> m_startupPortOpened;
    std::unique_ptr<CHistoryRecorder> m_pHistory;
    // Each problem of the history file is told once for each opening.
    bool m_bToldHistoryFailed = false;
    bool m_bToldHistoryHolding = false;
};

// The application object, as every window reaches it.
CQuorvelApp* GetQuorvelApp();

// The message of a request to the line that failed: the lost line's own where that is why,
// else strOwn (the request's message with its advice about the analyser).
std::string LineFailureText(const CLineWorker::Result& result, const std::string& strOwn,
                            const std::string& strStation = std::string());
