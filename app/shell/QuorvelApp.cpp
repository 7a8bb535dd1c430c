#include "app/shell/QuorvelApp.h"

#include "app/framework/Document.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/TemplateRegistry.h"
#include "app/framework/TerminationSignals.h"
#include "app/framework/View.h"
#include "app/framework/WaitCursor.h"
#include "app/graphs/CurveHistory.h"
#include "app/graphs/HistoryCurvePicker.h"
#include "app/history/HistoryRecorder.h"
#include "app/history/HistorySettings.h"
#include "app/history/HistorySettingsDlg.h"
#include "app/network/FindAnalysersDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/StationMonitor.h"
#include "app/shell/AboutBox.h"
#include "app/shell/HelpWnd.h"
#include "app/shell/LineClient.h"
#include "app/shell/MainFrame.h"
#include "app/shell/PreferencesDlg.h"
#include "app/shell/PressCollector.h"
#include "app/shell/PressDocument.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/ResourceScript.h"
#include "app/shell/SerialPortDlg.h"
#include "app/shell/StartupSplash.h"
#include "history/PostgresUrl.h"
#include "network/ZarnPort.h"
#include "network/ZarndLink.h"
#include "records/Press.h"
#include "serial/CommApi.h"
#include "serial/MessageBox.h"

#include <QApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

constexpr unsigned long kBaudRate = 57600;
constexpr const char* kDefaultPort = "COM1";
constexpr const char* kStatsFile = "statswnd.vlm";

} // namespace

CQuorvelApp* GetQuorvelApp() {
    return dynamic_cast<CQuorvelApp*>(AfxGetApp());
}

std::string CQuorvelApp::GetHistoryTarget() const {
    if (m_cmdInfo.m_bHistoryGiven) {
        return m_cmdInfo.m_strHistory;
    }
    std::string target;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "HistoryTarget", target)) {
        target.clear();
    }
    return target;
}

std::string CQuorvelApp::GetHistoryReadTarget() const {
    if (m_pMonitor != nullptr && m_pLine != nullptr &&
        CZarndLink::IsLinkName(m_pLine->GetPortName())) {
        const std::string& service = m_pMonitor->GetServiceHistory();
        CPostgresUrl::CParts parts;
        if (!service.empty() &&
            (CPostgresUrl::Parse(service, parts) || ::access(service.c_str(), R_OK) == 0)) {
            return service;
        }
    }
    return GetHistoryTarget();
}

CQuorvelApp::CQuorvelApp(const CCommandLineInfo& cmdInfo, const std::string& strSimulatedPort)
    : CWinApp("Velmora", "Quorvel"), m_cmdInfo(cmdInfo), m_strSimulatedPort(strSimulatedPort) {
    RegisterProgramResources();

    std::string name;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", name)) {
        name = kDefaultPort;
        WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", name);
    }
    if (!m_strSimulatedPort.empty()) {
        name = m_strSimulatedPort;
    } else if (m_cmdInfo.m_bPortGiven) {
        name = m_cmdInfo.m_strPort;
    }
    m_bStatsVisible = TRUE;
    // Opened by the line once start-up has a window to say so in: an open can take seconds
    // (a device server that does not answer), and nothing on this thread waits for one.
    m_pPort = new CZarnPort(name.c_str(), kBaudRate, 0, 0);

    MapCommand(ID_SERIAL_PORT_SETTING, [this] { OnSerialPortSetting(); });
    MapCommand(ID_HISTORY_SETTINGS, [this] { OnHistorySettings(); });
    MapCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    MapCommand(
        ID_RELOAD_ALL, [this] { OnReloadAll(); },
        [this](CCmdUI& ui) {
            bool any = (m_pBatchTemplate != nullptr && !m_pBatchTemplate->GetDocuments().empty()) ||
                       (m_pCurveTemplate != nullptr && !m_pCurveTemplate->GetDocuments().empty());
            ui.Enable(any);
        });
    MapCommand(
        ID_STATISTICS_WINDOW, [this] { OnStatisticsWindow(); },
        [this](CCmdUI& ui) { ui.SetCheck(m_bStatsVisible ? 1 : 0); });
    MapCommand(
        ID_FIND_ANALYSERS, [this] { OnFindAnalysers(); },
        [this](CCmdUI& ui) { ui.Enable(m_pLine != nullptr && m_pNetTemplate != nullptr); });
    MapCommand(
        ID_COMPARE_CURVES, [this] { OnCompareCurves(); },
        [this](CCmdUI& ui) { ui.Enable(m_pCompareTemplate != nullptr); });
    MapCommand(ID_HELP, [this] { OnHelp(); });
    MapCommand(ID_PREFERENCES, [this] { CPreferencesDlg::Run(m_pMainWnd); });
    MapCommand(
        ID_CANCEL_LINE, [this] { OnCancelLine(); },
        [this](CCmdUI& ui) { ui.Enable(m_pLine != nullptr && m_pLine->HasOperations()); });
}

void CQuorvelApp::StartLine() {
    if (m_pLine != nullptr || m_pPort == nullptr || QCoreApplication::instance() == nullptr) {
        return;
    }
    // From here on the port belongs to the line's own thread.
    m_pLine = new CLineClient(*m_pPort);
    m_pMonitor = new CStationMonitor(*m_pLine, m_pLine);
    m_pLine->SetNoiseHandler([this](const CZarnRequest& carried) { WarnOfNoise(carried); });
    if (auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd)) {
        QObject::connect(m_pLine, &CLineClient::StatusChanged, pFrame, [this, pFrame] {
            pFrame->ShowLineStatus(m_pLine->GetStatusText(), m_pLine->HasOperations(),
                                   m_pLine->GetStatusDetail());
        });
        QObject::connect(pFrame, &CMainFrame::CancelLineClicked, m_pLine,
                         [this] { OnCancelLine(); });
    }
}

void CQuorvelApp::WatchLayout() {
    if (m_pMonitor == nullptr || m_pNetTemplate == nullptr ||
        m_pNetTemplate->GetDocuments().empty()) {
        return;
    }
    auto* pNetDoc = dynamic_cast<CQuorvelDoc*>(m_pNetTemplate->GetDocuments().front());
    m_pMonitor->SetDocumentFinder([this]() -> CQuorvelDoc* {
        const auto& docs = m_pNetTemplate->GetDocuments();
        return docs.empty() ? nullptr : dynamic_cast<CQuorvelDoc*>(docs.front());
    });
    for (CView* pView : pNetDoc != nullptr ? pNetDoc->GetViews() : std::vector<CView*>{}) {
        QObject::connect(m_pMonitor, &CStationMonitor::Changed, pView,
                         qOverload<>(&QWidget::update));
    }
}

void CQuorvelApp::NoteWhoRecords(const std::string& strPort) {
    if (m_pHistory != nullptr) {
        const bool bByService = CZarndLink::IsLinkName(strPort);
        if (bByService != m_pHistory->IsRecordedByService()) {
            m_pHistory->SetRecordedByService(bByService);
            OnHistoryStatus(m_pHistory->GetStatus());
        }
    }
}

void CQuorvelApp::OpenPortOnLine(const std::string& strName, bool bStartup) {
    m_strPortChosen = strName; // the port itself is the line's to read from now on
    NoteWhoRecords(strName);
    m_pLine->OpenPort(strName, [this, bStartup](bool bOpened) {
        if (bStartup && !m_bPortStepReached) {
            m_startupPortOpened = bOpened; // told at its place in the start-up
            return;
        }
        OnPortOpened(bOpened);
    });
}

void CQuorvelApp::OnPortOpened(bool bOpened) {
    if (!bOpened) {
        // A refused device is not one in use: the message then names the cure.
        const unsigned long nError = m_pLine != nullptr ? m_pLine->GetOpenError() : 0;
        if (nError == EACCES || nError == EPERM) {
            AfxMessageBox(CStringTable::Load(IDS_PORT_OPEN_FAILED) + "\n\n" +
                              lintaro::DescribeOpenError(nError),
                          MB_OK | MB_ICONSTOP);
        } else {
            AfxMessageBox(IDS_PORT_OPEN_FAILED, MB_OK | MB_ICONSTOP);
        }
    }
}

void CQuorvelApp::RestoreStatistics() {
    if (m_pStatsTemplate == nullptr || m_pNetTemplate == nullptr ||
        m_pNetTemplate->GetDocuments().empty()) {
        return;
    }
    auto* pNetDoc = dynamic_cast<CQuorvelDoc*>(m_pNetTemplate->GetDocuments().front());
    std::vector<int> missing;
    for (CDocument* pDoc : m_pStatsTemplate->GetDocuments()) {
        if (auto* pCollector = dynamic_cast<CPressCollector*>(pDoc); pCollector && pNetDoc) {
            missing =
                pCollector->Restore([pNetDoc](int nNodeID) { return pNetDoc->FindPress(nNodeID); });
        }
    }
    if (!missing.empty() && m_pMainWnd != nullptr) {
        std::string text = "Statistics list: no station on the layout for node";
        text += missing.size() > 1 ? "s" : "";
        for (std::size_t i = 0; i < missing.size(); ++i) {
            text += (i == 0 ? " " : ", ") + std::to_string(missing[i]);
        }
        m_pMainWnd->SetMessageText(text + "; left out");
    }
}

void CQuorvelApp::WarnOfNoise(const CZarnRequest& carried) {
    // The analyser at the node the noise named may have obeyed: the operator must check it.
    std::string station = "the analyser at node " + std::to_string(carried.m_nNodeID);
    if (m_pNetTemplate != nullptr && !m_pNetTemplate->GetDocuments().empty()) {
        if (auto* pDoc = dynamic_cast<CQuorvelDoc*>(m_pNetTemplate->GetDocuments().front())) {
            if (const CPress* pPress = pDoc->FindPress(carried.m_nNodeID)) {
                station = pPress->GetName() + " (node " + std::to_string(carried.m_nNodeID) + ")";
            }
        }
    }
    // The history keeps it as a change nobody ordered, before the operator is asked to look.
    if (CHistoryChange change;
        m_pHistory != nullptr && CHistoryRecorder::NoiseChange(carried, change)) {
        m_pHistory->RecordChange(m_pHistory->StationOf(carried.m_nNodeID), change);
    }
    AfxMessageBox("Noise on the line turned a request into \"" + carried.Describe() + "\".\n\n" +
                      station + " may have carried it out. Check it before going on.",
                  MB_OK | MB_ICONEXCLAMATION);
}

void CQuorvelApp::OpenHistory() {
    if (m_pHistory == nullptr) {
        return;
    }
    m_bToldHistoryFailed = m_bToldHistoryHolding = false;
    // The store opens on its own thread; a file it cannot use is named when the news comes.
    m_pHistory->Open(CHistorySettings::Load().Options(GetHistoryTarget()));
    OnHistoryStatus(m_pHistory->GetStatus());
}

void CQuorvelApp::OnHistoryStatus(const CHistoryStatus& status) {
    if (auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd)) {
        if (m_pHistory != nullptr && m_pHistory->IsRecordedByService()) {
            // What this program would record, the line service records; the history shown in
            // the History window is the one the settings name.
            pFrame->ShowHistoryStatus(
                "History: by the line service",
                QString::fromStdString(
                    "The line service records the readings, downloads and changes of this line; "
                    "this program records nothing of its own on it. The History window shows: " +
                    CHistorySettings::Masked(status.GetText())),
                false);
        } else {
            pFrame->ShowHistoryStatus(
                QString::fromStdString(CHistoryRecorder::ShortText(status)),
                QString::fromStdString(CHistorySettings::Masked(status.GetText())),
                status.IsProblem());
        }
    }
    // The flag first: the message's own event loop may bring the next status.
    if (status.m_state == CHistoryStatus::State::holding && !m_bToldHistoryHolding) {
        m_bToldHistoryHolding = true;
        AfxMessageBox(CStringTable::Format1(IDS_HISTORY_HOLDING, status.m_strProblem),
                      MB_OK | MB_ICONEXCLAMATION);
    } else if (status.m_state == CHistoryStatus::State::failed && !m_bToldHistoryFailed) {
        m_bToldHistoryFailed = true;
        AfxMessageBox(CStringTable::Format1(IDS_HISTORY_UNUSABLE, status.m_strProblem),
                      MB_OK | MB_ICONEXCLAMATION);
    }
}

void CQuorvelApp::OnHistorySettings() {
    CHistorySettingsDlg dialog(CHistorySettings::Load(), GetHistoryTarget(),
                               m_cmdInfo.m_bHistoryGiven, m_pHistory.get(), m_pMainWnd);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    ApplyHistorySettings(dialog.GetSettings());
}

void CQuorvelApp::ApplyHistorySettings(const CHistorySettings& settings) {
    settings.Save();
    OpenHistory();
}

void CQuorvelApp::StopLine() {
    delete m_pLine; // and the monitor with it
    m_pLine = nullptr;
    m_pMonitor = nullptr;
}

void CQuorvelApp::OnFindAnalysers() {
    CQuorvelDoc* pDoc = nullptr;
    if (m_pNetTemplate != nullptr && !m_pNetTemplate->GetDocuments().empty()) {
        pDoc = dynamic_cast<CQuorvelDoc*>(m_pNetTemplate->GetDocuments().front());
    }
    CFindAnalysersDlg dialog(pDoc, m_pLine, m_pMainWnd);
    dialog.exec();
}

void CQuorvelApp::OnCancelLine() {
    if (m_pLine != nullptr) {
        m_pLine->CancelRunning();
    }
}

CQuorvelApp::~CQuorvelApp() {
    // Without ExitInstance (an application object that never ran) nothing is stored.
    StopLine();
    if (m_pHistory != nullptr) {
        m_pHistory->Close();
    }
    delete m_pPort;
    m_pPort = nullptr;
    SetLibraryMessageHandler(nullptr);
}

CMultiDocTemplate* CQuorvelApp::CreateTemplate(UINT nIDResource) {
    std::unique_ptr<CMultiDocTemplate> pTemplate = CTemplateRegistry::Create(nIDResource);
    if (pTemplate == nullptr) {
        return nullptr;
    }
    CMultiDocTemplate* raw = pTemplate.get();
    AddDocTemplate(std::move(pTemplate));
    return raw;
}

bool CQuorvelApp::InitInstance() {
    // 1. The splash follows the command line.
    CStartupSplash::EnableSplashScreen(m_cmdInfo.m_bShowSplash && !m_cmdInfo.m_bMeasureStartup);

    // 2. The user-interface layer.
    if (!StartUserInterface()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK);
        return false;
    }
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(QString::fromStdString(GetAppTitle()));
    QApplication::setWindowIcon(CResources::LoadIcon(IDR_MAINFRAME));
    SetLibraryMessageHandler([](const std::string& text) { AfxMessageBox(text, MB_OK); });
    CTerminationSignals::Connect(GetEventContext(), [this] { EndOnSignal(); });

    // 4. The framework's own settings: four recent files.
    SetRegistryKey("Local AppWizard-Generated Applications");
    LoadStdProfileSettings(4);

    // 5. The document types, in this order.
    m_pCurveTemplate = CreateTemplate(IDR_CURVETYPE);
    m_pNetTemplate = CreateTemplate(IDR_NETWORKTYPE);
    m_pBatchTemplate = CreateTemplate(IDR_BATCHTYPE);
    m_pStatsTemplate = CreateTemplate(IDR_STATSTYPE);
    m_pCompareTemplate = CreateTemplate(IDR_COMPARETYPE);
    m_pHistoryTemplate = CreateTemplate(IDR_HISTORYTYPE);
    // Compare windows add curves recorded in the history.
    CHistoryCurvePicker::Register();

    // 6. The main window (which shows the splash).
    auto* pMainFrame = new CMainFrame;
    if (!pMainFrame->LoadFrame(IDR_MAINFRAME)) {
        delete pMainFrame;
        return false;
    }
    m_pMainWnd = pMainFrame;
    // The line runs from here on, and its first task opens the port, while the windows are made
    // and the operator works: the status bar says "Opening ..." until it is done. What is asked
    // of the line meanwhile waits for the open behind it.
    StartLine();
    if (m_pLine != nullptr) {
        OpenPortOnLine(m_pPort->GetCommPort(), true);
    }

    // 7. Shown and painted at once.
    pMainFrame->ShowWindow(SW_SHOW);
    pMainFrame->UpdateWindow();

    // The history records from here on: before the line runs, and the stations named as
    // the layout names them when each record is made.
    m_pHistory = std::make_unique<CHistoryRecorder>();
    NoteWhoRecords(m_strPortChosen);
    m_pHistory->SetStationFinder([this](int nNodeID) -> const CPress* {
        if (m_pNetTemplate == nullptr || m_pNetTemplate->GetDocuments().empty()) {
            return nullptr;
        }
        auto* pDoc = dynamic_cast<CQuorvelDoc*>(m_pNetTemplate->GetDocuments().front());
        return pDoc != nullptr ? pDoc->FindPress(nNodeID) : nullptr;
    });
    QObject::connect(m_pHistory.get(), &CHistoryRecorder::StatusChanged, pMainFrame,
                     [this](const CHistoryStatus& status) { OnHistoryStatus(status); });
    OpenHistory();

    // 8. - 10. The standing windows: statistics first, so that the network window is active.
    if (m_pStatsTemplate != nullptr) {
        CDocument* pStats = m_pStatsTemplate->OpenDocumentFile(kStatsFile, true);
        if (pStats != nullptr && pStats->GetFirstView() != nullptr) {
            m_pStatsFrame = pStats->GetFirstView()->GetParentFrame();
        }
    }
    if (m_pNetTemplate != nullptr) {
        m_pNetTemplate->OpenDocumentFile(nullptr, true);
    }

    // 11. The port: its outcome is told here, or when it comes if the open still runs; the
    // program runs on without it. The restored rows' readings queue behind the open.
    WatchLayout();
    RestoreStatistics();
    m_bPortStepReached = true;
    if (m_startupPortOpened) {
        OnPortOpened(*m_startupPortOpened);
    }

    if (m_startupBegin) {
        auto begin = *m_startupBegin;
        QTimer::singleShot(0, QCoreApplication::instance(), [this, begin] {
            QCoreApplication::processEvents();
            auto ms = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - begin)
                          .count() /
                      1000.0;
            std::printf("startup to main window: %.1f ms\n", ms);
            std::fflush(stdout);
            OnAppExit();
        });
    }
    return true;
}

bool CQuorvelApp::PreTranslateMessage(QObject* pTarget, QEvent* pEvent) {
    if (CStartupSplash::PreTranslateAppMessage(pTarget, pEvent)) {
        return true;
    }
    return CWinApp::PreTranslateMessage(pTarget, pEvent);
}

int CQuorvelApp::ExitInstance() {
    if (m_bExited) {
        return 0;
    }
    m_bExited = true;
    CCurveHistory::SetPicker({});
    // Stops the line's thread: the port is the program's own again. The line object itself
    // goes with the application object, since this may run inside one of its hand-overs. The
    // name chosen last is the one stored, also when its open never got its turn.
    std::string strPortName;
    if (m_pLine == nullptr) {
        strPortName = m_pPort != nullptr ? m_pPort->GetCommPort() : "";
    } else {
        strPortName = m_pLine->GetChosenPortName();
        m_pMonitor->SetSweepSeconds(0);
        m_pLine->Shutdown();
    }
    // After the line: what it brought last is committed before the program ends.
    if (m_pHistory != nullptr) {
        m_pHistory->Close();
    }
    if (m_pPort != nullptr) {
        // The simulated line is this run's only; an operator's own choice is kept.
        if (!(IsSimulated() && strPortName == m_strSimulatedPort)) {
            WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", strPortName);
        }
        delete m_pPort;
        m_pPort = nullptr;
    }
    if (m_pNetTemplate != nullptr) {
        m_pNetTemplate->CloseAllDocuments(true);
    }
    if (m_pCurveTemplate != nullptr) {
        m_pCurveTemplate->CloseAllDocuments(true);
    }
    SetLibraryMessageHandler(nullptr);
    return CWinApp::ExitInstance();
}

void CQuorvelApp::OnUserInterfaceFailed() {
    AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK);
    ExitInstance();
}

BOOL CQuorvelApp::OpenPressWindow(CMultiDocTemplate* pTemplate, CPress* pPress, CLineJob job) {
    CDocument* pDoc = pTemplate != nullptr ? pTemplate->OpenDocumentFile(nullptr, false) : nullptr;
    auto* pPressDoc = dynamic_cast<CPressDocument*>(pDoc);
    if (pPressDoc == nullptr) {
        job.Finish();
        return FALSE;
    }
    pPressDoc->SetPress(pPress, std::move(job));
    return TRUE;
}

BOOL CQuorvelApp::OpenCurveWindow(CPress* pPress) {
    return OpenCurveWindow(pPress, CLineJob{});
}

BOOL CQuorvelApp::OpenCurveWindow(CPress* pPress, CLineJob job) {
    return OpenPressWindow(m_pCurveTemplate, pPress, std::move(job));
}

BOOL CQuorvelApp::OpenBatchWindow(CPress* pPress) {
    return OpenBatchWindow(pPress, CLineJob{});
}

BOOL CQuorvelApp::OpenBatchWindow(CPress* pPress, CLineJob job) {
    return OpenPressWindow(m_pBatchTemplate, pPress, std::move(job));
}

void CQuorvelApp::AddToStatistics(CPress* pPress, BOOL bReport) {
    AddToStatistics(pPress, bReport, CLineJob{});
}

void CQuorvelApp::AddToStatistics(CPress* pPress, BOOL bReport, CLineJob job) {
    CPressCollector* pCollector = nullptr;
    if (m_pStatsTemplate != nullptr) {
        for (CDocument* pDoc : m_pStatsTemplate->GetDocuments()) {
            if ((pCollector = dynamic_cast<CPressCollector*>(pDoc)) != nullptr) {
                break;
            }
        }
    }
    if (!m_bStatsVisible) {
        OnStatisticsWindow();
    }
    if (pCollector != nullptr) {
        pCollector->AddPress(pPress, bReport, std::move(job));
    } else {
        job.Finish();
    }
}

void CQuorvelApp::OnSerialPortSetting() {
    const std::string strCurrent = m_pLine != nullptr   ? m_pLine->GetChosenPortName()
                                   : m_pPort != nullptr ? std::string(m_pPort->GetCommPort())
                                                        : std::string();
    CSerialPortDlg dialog(strCurrent, m_pMainWnd);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    ApplyPortChoice(dialog.GetPortName());
}

bool CQuorvelApp::ApplyPortChoice(const std::string& strName) {
    // The port is opened only on the line's thread, whoever asks.
    StartLine();
    if (m_pLine == nullptr) {
        return false;
    }
    // The same name leaves a working port alone, and one being opened; it brings back a dead
    // one. Another name closes the old port first: the two names may be one device.
    if (strName == m_pLine->GetChosenPortName() &&
        (m_pLine->IsOpening() || m_pLine->GetState() == CLineWorker::LineState::open)) {
        return false;
    }
    OpenPortOnLine(strName, false);
    return true;
}

void CQuorvelApp::OnAppAbout() {
    CAboutBox dialog(m_pMainWnd);
    dialog.DoModal();
}

void CQuorvelApp::OnReloadAll() {
    for (CMultiDocTemplate* pTemplate : {m_pBatchTemplate, m_pCurveTemplate}) {
        if (pTemplate == nullptr) {
            continue;
        }
        std::vector<CDocument*> docs = pTemplate->GetDocuments();
        for (CDocument* pDoc : docs) {
            // A reload may close another window of the list: only the living are asked.
            const std::vector<CDocument*>& now = pTemplate->GetDocuments();
            if (std::find(now.begin(), now.end(), pDoc) == now.end()) {
                continue;
            }
            if (auto* pPressDoc = dynamic_cast<CPressDocument*>(pDoc)) {
                pPressDoc->Reload(CLineJob{});
            }
        }
    }
}

void CQuorvelApp::OnCompareCurves() {
    if (m_pCompareTemplate != nullptr) {
        m_pCompareTemplate->OpenDocumentFile(nullptr, true);
    }
}

void CQuorvelApp::OnHelp() {
    // The page of the window the operator works in.
    static const std::map<UINT, QString> anchors = {
        {IDR_NETWORKTYPE, QStringLiteral("layout")},
        {IDR_CURVETYPE, QStringLiteral("curve")},
        {IDR_BATCHTYPE, QStringLiteral("batch")},
        {IDR_STATSTYPE, QStringLiteral("statistics")},
        {IDR_COMPARETYPE, QStringLiteral("compare")},
        {IDR_HISTORYTYPE, QStringLiteral("history-window")},
    };
    QString anchor;
    if (m_pMainWnd != nullptr) {
        if (CMDIChildWnd* pChild = m_pMainWnd->MDIGetActive();
            pChild != nullptr && pChild->GetDocTemplate() != nullptr) {
            auto it = anchors.find(pChild->GetDocTemplate()->GetResourceID());
            if (it != anchors.end()) {
                anchor = it->second;
            }
        }
    }
    CHelpWnd::Show(m_pMainWnd, anchor);
}

void CQuorvelApp::OnStatisticsWindow() {
    m_bStatsVisible = !m_bStatsVisible;
    if (m_pStatsFrame != nullptr) {
        m_pStatsFrame->ShowWindow(m_bStatsVisible ? SW_SHOW : SW_HIDE);
    }
}

std::string LineFailureText(const CLineWorker::Result& result, const std::string& strOwn,
                            const std::string& strStation) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr || pApp->m_pLine == nullptr) {
        return strOwn;
    }
    return pApp->m_pLine->FailureText(result, strOwn, strStation);
}
