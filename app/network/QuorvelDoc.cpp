#include "app/network/QuorvelDoc.h"

#include "app/framework/CmdUI.h"
#include "app/framework/FrameworkIds.h"
#include "app/network/PressWatcher.h"

#include <algorithm>

std::string CQuorvelDoc::s_strFileName = StationFile::kFileName;

CQuorvelDoc::CQuorvelDoc() {
    if (!StationFile::ReadFile(s_strFileName, m_pPresses)) {
        m_pPresses = StationFile::DefaultNetwork();
    }
    // The layout is written only when the program ends, never through the file commands.
    MapCommand(
        ID_FILE_SAVE, [] {}, [](CCmdUI& ui) { ui.Enable(false); });
    MapCommand(
        ID_FILE_SAVE_AS, [] {}, [](CCmdUI& ui) { ui.Enable(false); });
}

CQuorvelDoc::~CQuorvelDoc() {
    StationFile::WriteFile(s_strFileName, m_pPresses);
    m_pGroup.clear();
    // Windows that outlive the layout keep what they know of their stations.
    for (const auto& press : m_pPresses) {
        CPressWatcher::NotifyRemoved(press.get());
    }
}

CPress* CQuorvelDoc::FindPress(int nNodeID) const {
    for (const auto& press : m_pPresses) {
        if (press->GetNodeID() == nNodeID) {
            return press.get();
        }
    }
    return nullptr;
}

CPress* CQuorvelDoc::AddNewPress() {
    m_pPresses.push_back(std::make_unique<CPress>("New Station", CPoint{25, 25}, 254));
    return m_pPresses.back().get();
}

void CQuorvelDoc::RemovePress(CPress* pPress) {
    auto it = std::find_if(m_pPresses.begin(), m_pPresses.end(),
                           [pPress](const auto& p) { return p.get() == pPress; });
    if (it == m_pPresses.end()) {
        return;
    }
    // No list may keep pointing at a station that is gone.
    m_pGroup.erase(std::remove(m_pGroup.begin(), m_pGroup.end(), pPress), m_pGroup.end());
    CPressWatcher::NotifyRemoved(pPress);
    m_pPresses.erase(it);
}

void CQuorvelDoc::SetTitle(const std::string&) {
    CDocument::SetTitle(kTitle);
}

bool CQuorvelDoc::CanCloseFrame(CFrameWnd*) {
    return false;
}
