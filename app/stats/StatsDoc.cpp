#include "app/stats/StatsDoc.h"

#include "app/framework/UpdateHints.h"
#include "app/stats/StatsListFile.h"
#include "app/stats/StatsView.h"
#include "base/Archive.h"
#include "base/FileIO.h"
#include "records/Press.h"

#include <filesystem>
#include <system_error>

BOOL CStatsDoc::AddPress(CPress* pPress, BOOL bReport, CLineJob job) {
    // The window's table asks the analyser; the one that waits is told when that is over.
    for (CView* pView : GetViews()) {
        if (auto* pStatsView = dynamic_cast<CStatsView*>(pView)) {
            pStatsView->AddPress(pPress, bReport != FALSE, std::move(job));
            return TRUE;
        }
    }
    job.Finish();
    return TRUE;
}

std::vector<int> CStatsDoc::Restore(const std::function<CPress*(int)>& find) {
    std::vector<std::pair<std::string, int>> stations;
    std::vector<int> missing;
    for (std::uint32_t id : m_aNodeIDs) {
        const int nNodeID = static_cast<int>(id);
        CPress* pPress = find ? find(nNodeID) : nullptr;
        if (pPress != nullptr) {
            stations.emplace_back(pPress->GetName(), nNodeID);
        } else {
            missing.push_back(nNodeID);
        }
    }
    for (CView* pView : GetViews()) {
        if (auto* pStatsView = dynamic_cast<CStatsView*>(pView)) {
            pStatsView->RestoreRows(stations);
            break;
        }
    }
    return missing;
}

void CStatsDoc::Reread(const std::vector<int>& nodes) {
    for (CView* pView : GetViews()) {
        if (auto* pStatsView = dynamic_cast<CStatsView*>(pView)) {
            pStatsView->RereadRows(nodes);
            return;
        }
    }
}

bool CStatsDoc::OnOpenDocument(const std::string& strPathName) {
    // Only a missing file is made; one that exists but cannot be read is left alone.
    std::error_code error;
    if (!std::filesystem::exists(kListFile, error) && !error) {
        WriteFileAtomically(kListFile, {});
    }
    m_bDamaged = false;
    if (CDocument::OnOpenDocument(strPathName)) {
        return true;
    }
    if (m_bDamaged) {
        // Reported already; the window must still stand, and the program's end writes a
        // sound file over the damaged one.
        DeleteContents();
        SetModifiedFlag(false);
        return true;
    }
    return false;
}

void CStatsDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        CStatsListFile::Write(ar, m_rows.GetNodeIDs());
    } else {
        CStatsListFile::Read(ar, m_aNodeIDs);
    }
}

void CStatsDoc::SetTitle(const std::string&) {
    // The window keeps its name whatever file the list is read from or saved to.
    CDocument::SetTitle(kTitle);
}

bool CStatsDoc::CanCloseFrame(CFrameWnd*) {
    return false;
}

bool CStatsDoc::SaveModified() {
    if (!GetPathName().empty()) {
        DoSave(GetPathName());
    }
    return true;
}

void CStatsDoc::ReportSaveLoadException(const std::string& strPathName, bool bSaving,
                                        bool bFormat) {
    if (!bSaving && bFormat) {
        m_bDamaged = true;
    }
    CDocument::ReportSaveLoadException(strPathName, bSaving, bFormat);
}
