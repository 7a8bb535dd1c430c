#include "tests/app/ShellTestSupport.h"

#include "app/framework/MDIChildWnd.h"
#include "app/shell/ChildFrame.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "base/FileIO.h"

#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

CFakePressDoc::CFakePressDoc(std::string strKind) : m_strKind(std::move(strKind)) {
    MapCommand(ID_REFRESH_DATA, [this] { ++m_nRefresh; });
    MapCommand(m_strKind == "curve" ? ID_CURVE_ZOOM_OUT : ID_BATCH_ZOOM_OUT,
               [this] { ++m_nZoomOut; });
}

void CFakePressDoc::SetPress(CPress* pPress, CLineJob) {
    m_pPress = pPress;
    ++m_nSetPress;
    // A download that succeeded shows the hidden window.
    for (CFrameWnd* frame : GetFrames()) {
        frame->ActivateFrame();
    }
}

void CFakePressDoc::Reload(CLineJob) {
    ReloadLog().push_back(m_strKind);
}

bool CFakeStatsDoc::OnOpenDocument(const std::string& strPathName) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(strPathName, bytes)) {
        WriteFileAtomically(strPathName, {});
    }
    return CDocument::OnOpenDocument(strPathName);
}

BOOL CFakeStatsDoc::AddPress(CPress* pPress, BOOL bReport, CLineJob) {
    m_added.emplace_back(pPress, bReport);
    return TRUE;
}

void CFakeView::mousePressEvent(QMouseEvent* pEvent) {
    ++m_nMousePresses;
    CView::mousePressEvent(pEvent);
}

void CFakeView::keyPressEvent(QKeyEvent* pEvent) {
    ++m_nKeyPresses;
    CView::keyPressEvent(pEvent);
}

std::vector<std::string>& ReloadLog() {
    static std::vector<std::string> log;
    return log;
}

CRegistryScope::CRegistryScope(bool bFakes) : m_saved(CTemplateRegistry::TakeAll()) {
    if (!bFakes) {
        return;
    }
    CTemplateRegistry::Register(IDR_CURVETYPE, [] {
        return CMultiDocTemplate::Make<CFakeCurveDoc, CChildFrame, CFakeView>(IDR_CURVETYPE);
    });
    CTemplateRegistry::Register(IDR_NETWORKTYPE, [] {
        return CMultiDocTemplate::Make<CFakeNetworkDoc, CChildFrame, CFakeView>(IDR_NETWORKTYPE);
    });
    CTemplateRegistry::Register(IDR_BATCHTYPE, [] {
        return CMultiDocTemplate::Make<CFakeBatchDoc, CChildFrame, CFakeView>(IDR_BATCHTYPE);
    });
    CTemplateRegistry::Register(IDR_STATSTYPE, [] {
        return CMultiDocTemplate::Make<CFakeStatsDoc, CFakeStatsFrame, CFakeView>(IDR_STATSTYPE);
    });
}

CRegistryScope::~CRegistryScope() {
    CTemplateRegistry::RestoreAll(std::move(m_saved));
}

ShellTestBase::ShellTestBase(bool bFakes) : m_registry(bFakes) {
    m_registrations.push_back(m_lineA->Register("LINE-A"));
    m_registrations.push_back(m_lineLowerA->Register("line-a"));
    m_registrations.push_back(m_lineB->Register("LINE-B"));
    ReloadLog().clear();
}

ShellTestBase::~ShellTestBase() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

CCommandLineInfo ShellTestBase::NoSplash() {
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    return info;
}

std::unique_ptr<CQuorvelApp> ShellTestBase::MakeApp(const CCommandLineInfo& info,
                                                    const std::string& strSimulated) {
    return std::make_unique<CQuorvelApp>(info, strSimulated);
}

std::string ShellTestBase::StoredPort() {
    std::string port;
    ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", port);
    return port;
}

void ShellTestBase::StorePort(const std::string& strName) {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", strName));
}

bool WaitUntil(const std::function<bool()>& condition, int nMs) {
    QDeadlineTimer deadline(nMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(2);
    }
    return true;
}
