#include "app/framework/WinApp.h"

#include "app/framework/Dialog.h"
#include "app/framework/DocTemplate.h"
#include "app/framework/Document.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/LockKeys.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/NewTypeDlg.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrinter>
#include <QTimer>
#include <QWindow>

#include <clocale>
#include <cstdio>
#include <unistd.h>

namespace {

CWinApp* g_pApp = nullptr;
CWinApp* g_pStarting = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// While the user-interface layer starts, its fatal error (no display, no platform plug-in)
// must not abort the process without the program's own message and tidying up.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
    if (type == QtFatalMsg && g_pStarting != nullptr) {
        CWinApp* pApp = g_pStarting;
        g_pStarting = nullptr;
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
        pApp->OnUserInterfaceFailed();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(1);
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, msg);
    } else {
        std::fprintf(stderr, "%s\n",
                     qFormatLogMessage(type, context, msg).toLocal8Bit().constData());
    }
}

} // namespace

class CWinApp::CMessageFilter : public QObject {
public:
    explicit CMessageFilter(CWinApp* pApp) : m_pApp(pApp) {}

protected:
    bool eventFilter(QObject* pTarget, QEvent* pEvent) override {
        switch (pEvent->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
            return m_pApp->PreTranslateMessage(pTarget, pEvent);
        default:
            return false;
        }
    }

private:
    CWinApp* m_pApp;
};

CWinApp* AfxGetApp() {
    return g_pApp;
}

CWinApp::CWinApp(const std::string& strVendor, const std::string& strProduct)
    : m_settings(strVendor, strProduct) {
    g_pApp = this;
    MapCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    MapCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    MapCommand(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    MapCommand(ID_APP_EXIT, [this] { OnAppExit(); });
    MapCommandRange(
        ID_FILE_MRU_FILE1, ID_FILE_MRU_LAST, [this](UINT nID) { OnOpenRecentFile(nID); },
        [this](CCmdUI& ui) {
            int index = static_cast<int>(ui.m_nID - ID_FILE_MRU_FILE1);
            ui.Enable(m_pRecentFileList != nullptr && index < m_pRecentFileList->GetCount());
        });
}

CWinApp::~CWinApp() {
    if (m_pFilter != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(m_pFilter.get());
    }
    m_pFilter.reset();
    delete m_pMainWnd; // its child frames take their views out of the documents
    m_pMainWnd = nullptr;
    m_docManager.CloseAllDocuments(true);
    m_pPrinter.reset();
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

QObject* CWinApp::GetEventContext() const {
    return m_pFilter.get();
}

std::string CWinApp::GetAppTitle() const {
    return CStringTable::Load(AFX_IDS_APP_TITLE);
}

int CWinApp::ExitInstance() {
    SaveStdProfileSettings();
    return 0;
}

bool CWinApp::PreTranslateMessage(QObject* pTarget, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress && qobject_cast<QWindow*>(pTarget) != nullptr) {
        CLockKeys::OnKeyPress(static_cast<QKeyEvent*>(pEvent)->key());
    }
    return m_pMainWnd != nullptr && m_pMainWnd->TranslateAccelerator(pTarget, pEvent);
}

bool CWinApp::StartUserInterface() {
    if (QCoreApplication::instance() == nullptr) {
        static int s_argc = 1;
        static char s_name[] = "quorvel";
        static char* s_argv[] = {s_name, nullptr};
        int& argc = m_pArgc != nullptr ? *m_pArgc : s_argc;
        char** argv = m_argv != nullptr ? m_argv : s_argv;
        g_pStarting = this;
        g_previousHandler = qInstallMessageHandler(StartupMessageHandler);
        CMessageService::SetConsoleOnly(true);
        m_pOwnApplication = std::make_unique<QApplication>(argc, argv);
        // Qt took the whole locale from the environment; numbers keep the dot of the C formats
        // the windows and the files use, also where they are read back.
        std::setlocale(LC_NUMERIC, "C");
        CMessageService::SetConsoleOnly(false);
        qInstallMessageHandler(g_previousHandler);
        g_pStarting = nullptr;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    // The main window's end, not the last visible window's, ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (m_pFilter == nullptr) {
        m_pFilter = std::make_unique<CMessageFilter>(this);
        QCoreApplication::instance()->installEventFilter(m_pFilter.get());
    }
    return true;
}

int CWinApp::Run(int& argc, char** argv) {
    m_pArgc = &argc;
    m_argv = argv;
    if (!InitInstance()) {
        int code = ExitInstance();
        return code != 0 ? code : 1;
    }
    if (m_pMainWnd != nullptr && !m_pMainWnd->IsDestroyed()) {
        QApplication::exec();
    }
    if (m_pMainWnd != nullptr && !m_pMainWnd->IsDestroyed()) {
        m_pMainWnd->DestroyWindow();
    }
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ExitInstance();
}

void CWinApp::EndOnSignal() {
    CMessageService::SetEnding(true);
    // Menus and dialogs give way first: each modal loop returns as "cancelled".
    for (int i = 0; i < 64; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup == nullptr) {
            break;
        }
        popup->close();
    }
    for (int i = 0; i < 64; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            break;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (QApplication::activeModalWidget() == modal) {
            modal->hide();
        }
    }
    QTimer::singleShot(0, QCoreApplication::instance(), [this] {
        if (m_pMainWnd != nullptr && !m_pMainWnd->IsDestroyed()) {
            OnAppExit();
        } else {
            QCoreApplication::quit();
        }
    });
}

void CWinApp::SetRegistryKey(const std::string& strKey) {
    m_strRegistryKey = strKey;
    m_strProfileName = GetAppTitle();
}

std::string CWinApp::GetProfileKey(const std::string& strSection) const {
    std::string key = "Software";
    if (!m_strRegistryKey.empty()) {
        key += "\\" + m_strRegistryKey;
    }
    key += "\\" + (m_strProfileName.empty() ? GetAppTitle() : m_strProfileName);
    return key + "\\" + strSection;
}

void CWinApp::LoadStdProfileSettings(unsigned nMaxMRU) {
    m_pRecentFileList = std::make_unique<CRecentFileList>(static_cast<int>(nMaxMRU));
    if (nMaxMRU > 0) {
        m_pRecentFileList->ReadList(m_settings, HKEY_CURRENT_USER,
                                    GetProfileKey("Recent File List"));
    }
}

void CWinApp::SaveStdProfileSettings() {
    if (m_pRecentFileList != nullptr && m_pRecentFileList->GetSize() > 0) {
        m_pRecentFileList->WriteList(m_settings, HKEY_CURRENT_USER,
                                     GetProfileKey("Recent File List"));
    }
}

CDocTemplate* CWinApp::AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate) {
    return m_docManager.AddDocTemplate(std::move(pTemplate));
}

CDocument* CWinApp::OpenDocumentFile(const std::string& strPathName) {
    CDocument* pOpen = nullptr;
    CDocTemplate* pTemplate = m_docManager.FindTemplateForFile(strPathName, pOpen);
    if (pOpen != nullptr) {
        // Already open: its window comes to the front.
        std::vector<CFrameWnd*> frames = pOpen->GetFrames();
        if (!frames.empty()) {
            frames.front()->ActivateFrame();
        }
        return pOpen;
    }
    if (pTemplate == nullptr || pTemplate->GetDocString(CDocTemplate::filterExt).empty()) {
        AfxMessageBox(AFX_IDP_FAILED_TO_OPEN_DOC, MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    return pTemplate->OpenDocumentFile(strPathName.c_str());
}

bool CWinApp::SaveAllModified() {
    return m_docManager.SaveAllModified();
}

void CWinApp::CloseAllDocuments(bool bEndSession) {
    m_docManager.CloseAllDocuments(bEndSession);
}

void CWinApp::AddToRecentFileList(const std::string& strPathName) {
    if (m_pRecentFileList == nullptr) {
        return;
    }
    m_pRecentFileList->Add(strPathName);
    SaveStdProfileSettings();
}

QPrinter* CWinApp::GetPrinter() {
    if (m_pPrinter == nullptr) {
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return m_pPrinter.get();
}

void CWinApp::OnFileNew() {
    std::vector<CDocTemplate*> templates =
        CDocManager::GetNewTemplates(m_docManager.GetTemplates());
    if (templates.empty()) {
        return;
    }
    CDocTemplate* pTemplate = templates.front();
    if (templates.size() > 1) {
        CNewTypeDlg dialog(templates, m_pMainWnd);
        if (dialog.DoModal() != IDOK || dialog.GetSelected() == nullptr) {
            return;
        }
        pTemplate = dialog.GetSelected();
    }
    pTemplate->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen() {
    std::string filter =
        CDocManager::FormatFilters(CDocManager::BuildFilters(m_docManager.GetTemplates()));
    QFileDialog dialog(m_pMainWnd, QString::fromStdString(CStringTable::Load(AFX_IDS_OPENFILE)));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromStdString(filter));
    if (CDialog::RunModal(dialog) != IDOK || dialog.selectedFiles().isEmpty()) {
        return;
    }
    OpenDocumentFile(dialog.selectedFiles().front().toStdString());
}

void CWinApp::OnFilePrintSetup() {
    QPageSetupDialog dialog(GetPrinter(), m_pMainWnd);
    CDialog::RunModal(dialog);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd != nullptr) {
        m_pMainWnd->OnClose();
    }
}

bool CWinApp::OnOpenRecentFile(UINT nID) {
    if (m_pRecentFileList == nullptr) {
        return false;
    }
    int index = static_cast<int>(nID - ID_FILE_MRU_FILE1);
    if (index < 0 || index >= m_pRecentFileList->GetCount()) {
        return false;
    }
    std::string path = (*m_pRecentFileList)[index];
    if (OpenDocumentFile(path) == nullptr) {
        // A file that cannot be opened any more leaves the list.
        m_pRecentFileList->Remove(index);
        SaveStdProfileSettings();
        return false;
    }
    return true;
}
