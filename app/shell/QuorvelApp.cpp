#include "app/shell/QuorvelApp.h"

#include "app/framework/Document.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/TemplateRegistry.h"
#include "app/framework/TerminationSignals.h"
#include "app/framework/View.h"
#include "app/shell/AboutBox.h"
#include "app/shell/MainFrame.h"
#include "app/shell/PressCollector.h"
#include "app/shell/PressDocument.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/ResourceScript.h"
#include "app/shell/SerialPortDlg.h"
#include "app/shell/StartupSplash.h"
#include "network/ZarnPort.h"
#include "serial/MessageBox.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

constexpr unsigned long kBaudRate = 57600;
constexpr const char* kDefaultPort = "COM1";
constexpr const char* kStatsFile = "statswnd.vlm";

} // namespace

CQuorvelApp* GetQuorvelApp() {
    return dynamic_cast<CQuorvelApp*>(AfxGetApp());
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
    m_pPort = new CZarnPort(name.c_str(), kBaudRate, 0, 0);
    m_pPort->SetCommPort(); // start-up opens it again and reports a failure

    MapCommand(ID_SERIAL_PORT_SETTING, [this] { OnSerialPortSetting(); });
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
}

CQuorvelApp::~CQuorvelApp() {
    // Without ExitInstance (an application object that never ran) nothing is stored.
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

    // 6. The main window (which shows the splash).
    auto* pMainFrame = new CMainFrame;
    if (!pMainFrame->LoadFrame(IDR_MAINFRAME)) {
        delete pMainFrame;
        return false;
    }
    m_pMainWnd = pMainFrame;

    // 7. Shown and painted at once.
    pMainFrame->ShowWindow(SW_SHOW);
    pMainFrame->UpdateWindow();

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

    // 11. The port again; the program runs on without it.
    if (!m_pPort->SetCommPort()) {
        AfxMessageBox(IDS_PORT_OPEN_FAILED, MB_OK | MB_ICONSTOP);
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
    if (m_pPort != nullptr) {
        std::string name = m_pPort->GetCommPort();
        // The simulated line is this run's only; an operator's own choice is kept.
        if (!(IsSimulated() && name == m_strSimulatedPort)) {
            WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", name);
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

BOOL CQuorvelApp::OpenCurveWindow(CPress* pPress) {
    if (m_pCurveTemplate == nullptr) {
        return FALSE;
    }
    CDocument* pDoc = m_pCurveTemplate->OpenDocumentFile(nullptr, false);
    if (pDoc == nullptr) {
        return FALSE;
    }
    if (auto* pPressDoc = dynamic_cast<CPressDocument*>(pDoc)) {
        pPressDoc->SetPress(pPress);
    }
    return TRUE;
}

BOOL CQuorvelApp::OpenBatchWindow(CPress* pPress) {
    if (m_pBatchTemplate == nullptr) {
        return FALSE;
    }
    CDocument* pDoc = m_pBatchTemplate->OpenDocumentFile(nullptr, false);
    if (pDoc == nullptr) {
        return FALSE;
    }
    if (auto* pPressDoc = dynamic_cast<CPressDocument*>(pDoc)) {
        pPressDoc->SetPress(pPress);
    }
    return TRUE;
}

void CQuorvelApp::AddToStatistics(CPress* pPress, BOOL bReport) {
    if (m_pStatsTemplate != nullptr) {
        std::vector<CDocument*> docs = m_pStatsTemplate->GetDocuments();
        for (CDocument* pDoc : docs) {
            if (auto* pCollector = dynamic_cast<CPressCollector*>(pDoc)) {
                pCollector->AddPress(pPress, bReport);
            }
        }
    }
    if (!m_bStatsVisible) {
        OnStatisticsWindow();
    }
}

void CQuorvelApp::OnSerialPortSetting() {
    CSerialPortDlg dialog(m_pPort->GetCommPort(), m_pMainWnd);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    ApplyPortChoice(dialog.GetPortName());
}

bool CQuorvelApp::ApplyPortChoice(const std::string& strName) {
    if (m_pPort == nullptr || strName == m_pPort->GetCommPort()) {
        return false;
    }
    if (!m_pPort->ChangeComPort(strName.c_str())) {
        AfxMessageBox(IDS_PORT_OPEN_FAILED, MB_OK | MB_ICONSTOP);
    }
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
                pPressDoc->Reload();
            }
        }
    }
}

void CQuorvelApp::OnStatisticsWindow() {
    m_bStatsVisible = !m_bStatsVisible;
    if (m_pStatsFrame != nullptr) {
        m_pStatsFrame->ShowWindow(m_bStatsVisible ? SW_SHOW : SW_HIDE);
    }
}
