#pragma once

#include "app/framework/CmdTarget.h"
#include "app/framework/DocManager.h"
#include "app/framework/RecentFileList.h"
#include "app/framework/SettingsStore.h"

#include <memory>
#include <string>

class CDocument;
class CMDIFrameWnd;
class QApplication;
class QEvent;
class QObject;
class QPrinter;

// The application: the user-interface layer, the document types, the main window, the
// message loop with its pre-filter, the recent-file list and the printer settings. Exactly
// one exists; AfxGetApp reaches it.
class CWinApp : public CCmdTarget {
public:
    // Settings live under the vendor and product names (see CSettingsStore).
    CWinApp(const std::string& strVendor, const std::string& strProduct);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance();
    // Offered every event before it is delivered; true consumes it. The default lets the main
    // window translate its accelerators.
    virtual bool PreTranslateMessage(QObject* pTarget, QEvent* pEvent);

    // Starts the user-interface layer (creates the QApplication unless one exists) with the
    // command line given to Run. False when it cannot start.
    bool StartUserInterface();
    // InitInstance, the message loop, ExitInstance; returns the process's exit code.
    int Run(int& argc, char** argv);
    // Ends the program as File Exit does; safe to call from the loop at any time, also while
    // dialogs are open (they are cancelled first and no question is asked).
    void EndOnSignal();

    CMDIFrameWnd* m_pMainWnd = nullptr;
    // The application title, string 57344.
    std::string GetAppTitle() const;
    // The user-interface layer could not start: called from inside its failed start, just
    // before the process ends with exit code 1.
    virtual void OnUserInterfaceFailed() {}

    // Settings.
    CSettingsStore& GetSettingsStore() { return m_settings; }
    void SetRegistryKey(const std::string& strKey);
    // Reads the recent-file list (nMaxMRU entries) from the profile.
    void LoadStdProfileSettings(unsigned nMaxMRU = 4);
    void SaveStdProfileSettings();
    std::string GetProfileKey(const std::string& strSection) const;

    // Documents.
    CDocManager& GetDocManager() { return m_docManager; }
    CDocTemplate* AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate);
    virtual CDocument* OpenDocumentFile(const std::string& strPathName);
    bool SaveAllModified();
    void CloseAllDocuments(bool bEndSession);

    // The recent-file list (null before LoadStdProfileSettings).
    CRecentFileList* GetRecentFileList() { return m_pRecentFileList.get(); }
    virtual void AddToRecentFileList(const std::string& strPathName);

    // The printer every print job starts from; Print Setup changes it.
    QPrinter* GetPrinter();

    // The standard application commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppExit();
    bool OnOpenRecentFile(UINT nID);

protected:
    // An object that lives as long as the user-interface layer does for this application:
    // connections made with it as context end with the application.
    QObject* GetEventContext() const;

    int* m_pArgc = nullptr;
    char** m_argv = nullptr;
    std::string m_strRegistryKey;
    std::string m_strProfileName;

private:
    class CMessageFilter;

    // Destroyed last: everything below may need the user-interface layer.
    std::unique_ptr<QApplication> m_pOwnApplication;
    CSettingsStore m_settings;
    CDocManager m_docManager;
    std::unique_ptr<CRecentFileList> m_pRecentFileList;
    std::unique_ptr<QPrinter> m_pPrinter;
    std::unique_ptr<CMessageFilter> m_pFilter;
};

CWinApp* AfxGetApp();
