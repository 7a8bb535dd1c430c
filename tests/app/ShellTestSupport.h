#pragma once

#include "app/framework/Document.h"
#include "app/framework/MessageRecorder.h"
#include "app/framework/TemplateRegistry.h"
#include "app/framework/View.h"
#include "app/shell/ChildFrame.h"
#include "app/shell/CommandLineInfo.h"
#include "app/shell/PressCollector.h"
#include "app/shell/PressDocument.h"
#include "app/shell/QuorvelApp.h"
#include "tests/app/TempConfig.h"
#include "tests/app/WhenModal.h"
#include "testsupport/ScriptedLine.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Stand-ins for the document types of the windows that build on the shell: just enough to see
// what the shell does with them.
class CFakePressDoc : public CDocument, public CPressDocument {
public:
    explicit CFakePressDoc(std::string strKind);
    void SetPress(CPress* pPress, CLineJob job) override;
    void Reload(CLineJob job) override;

    std::string m_strKind;
    CPress* m_pPress = nullptr;
    int m_nSetPress = 0;
    int m_nRefresh = 0;
    int m_nZoomOut = 0;
};

class CFakeCurveDoc : public CFakePressDoc {
public:
    CFakeCurveDoc() : CFakePressDoc("curve") {}
};

class CFakeBatchDoc : public CFakePressDoc {
public:
    CFakeBatchDoc() : CFakePressDoc("batch") {}
};

// The network document: titled "Press Stations", its window cannot be closed.
class CFakeNetworkDoc : public CDocument {
public:
    void SetTitle(const std::string&) override { CDocument::SetTitle("Press Stations"); }
    bool CanCloseFrame(CFrameWnd*) override { return false; }
};

class CFakeStatsDoc : public CDocument, public CPressCollector {
public:
    // The list file is made when it is missing.
    bool OnOpenDocument(const std::string& strPathName) override;
    BOOL AddPress(CPress* pPress, BOOL bReport, CLineJob job) override;
    bool CanCloseFrame(CFrameWnd*) override { return false; }
    std::vector<std::pair<CPress*, BOOL>> m_added;
};

// A view that counts the mouse and key presses it gets.
class CFakeView : public CView {
    Q_OBJECT
public:
    int m_nMousePresses = 0;
    int m_nKeyPresses = 0;

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
};

class CFakeStatsFrame : public CMDIChildWnd {
    Q_OBJECT
public:
    bool PreCreateWindow(CREATESTRUCT& cs) override {
        cs.cx = 660;
        cs.cy = 200;
        return CMDIChildWnd::PreCreateWindow(cs);
    }
};

// The order in which documents were asked to reload.
std::vector<std::string>& ReloadLog();

// Takes every registered document type out for the life of the object; with bFakes the four
// stand-in types are registered instead.
class CRegistryScope {
public:
    explicit CRegistryScope(bool bFakes);
    ~CRegistryScope();

private:
    std::map<UINT, CTemplateRegistry::Maker> m_saved;
};

// Runs the event loop until the condition holds; false when it does not within the deadline.
bool WaitUntil(const std::function<bool()>& condition, int nMs = 30000);

// A test with its own settings and working folders, a message recorder, and scripted serial
// lines under the names "LINE-A", "line-a" and "LINE-B".
class ShellTestBase : public ::testing::Test {
protected:
    explicit ShellTestBase(bool bFakes = false);
    ~ShellTestBase() override;

    static CCommandLineInfo NoSplash();
    std::unique_ptr<CQuorvelApp> MakeApp(const CCommandLineInfo& info = NoSplash(),
                                         const std::string& strSimulated = std::string());
    static std::string StoredPort();
    static void StorePort(const std::string& strName);

    CTempConfig m_config;
    CMessageRecorder m_messages;
    CRegistryScope m_registry;
    std::shared_ptr<CScriptedLine> m_lineA = CScriptedLine::Create();
    std::shared_ptr<CScriptedLine> m_lineLowerA = CScriptedLine::Create();
    std::shared_ptr<CScriptedLine> m_lineB = CScriptedLine::Create();
    std::vector<std::unique_ptr<CScriptedLine::Registration>> m_registrations;
};
