#include "app/graphs/CurveDoc.h"

#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/UpdateHints.h"
#include "app/framework/WaitCursor.h"
#include "app/graphs/GraphFormat.h"
#include "app/network/Press.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "base/Archive.h"
#include "base/CodePage.h"
#include "network/ZarnPort.h"

CCurveDoc::CCurveDoc()
    : m_pForce(kCurvePoints, tagPOINT{0, 0}), m_pReference(kCurvePoints, tagPOINT{0, 0}) {
    MapCommand(
        ID_REFRESH_DATA, [this] { Reload(); }, [this](CCmdUI& ui) { ui.Enable(m_bCanReload); });
}

void CCurveDoc::SetPress(CPress* pPress) {
    if (pPress != nullptr) {
        m_nNodeID = pPress->GetNodeID();
        m_strStation = pPress->GetName();
    }
    Reload();
}

void CCurveDoc::Reload() {
    if (!m_bCanReload) {
        return;
    }
    CWaitCursor wait;
    // The title changes before the first request, so a failed download has renamed it too.
    SetTitle(CGraphFormat::Format("Downloaded Curve - %s (Node - %d) (%s)", m_strStation.c_str(),
                                  m_nNodeID, CGraphFormat::DateTimeNow().c_str()));
    CQuorvelApp* pApp = GetQuorvelApp();
    if (!Download(pApp != nullptr ? pApp->m_pPort : nullptr)) {
        UpdateAllViews(nullptr, HINT_CLOSE);
        return;
    }
    m_bHasData = true;
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}

bool CCurveDoc::Download(CZarnPort* pPort) {
    const auto node = static_cast<unsigned char>(m_nNodeID);
    if (pPort == nullptr || !pPort->DownloadForceCurve(node, m_pForce.data())) {
        AfxMessageBox(CStringTable::Format1(IDS_CURVE_DOWNLOAD_FAILED, m_strStation),
                      MB_OK | MB_ICONSTOP);
        return false;
    }
    const auto nNode = static_cast<unsigned int>(m_nNodeID);
    bool ok =
        pPort->DownloadReference(node, m_pReference.data()) &&
        pPort->GetZoneInfo(nNode, &m_nZoneInfo[0], &m_nZoneInfo[1], &m_nZoneInfo[2],
                           &m_nZoneInfo[3], &m_nZoneInfo[4]) &&
        pPort->GetPeakForce(nNode, &m_nPeakForce) &&
        pPort->GetResultInfo(nNode, &m_nResultS[0], &m_nResultS[1], &m_nResultS[2], &m_nResultS[3],
                             &m_nResultU[0], &m_nResultU[1], &m_nResultU[2], &m_nResultU[3]) &&
        pPort->GetPassFailCount(nNode, &m_nPassCount, &m_nFailCount);
    if (!ok) {
        AfxMessageBox(CStringTable::Format1(IDS_CURVE_ACCESS_PROBLEM, m_strStation),
                      MB_OK | MB_ICONSTOP);
    }
    return ok;
}

void CCurveDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        m_strSavedTitle = GetTitle();
        ar.WriteString(Utf8ToCp1252(m_strSavedTitle));
        for (int i = 0; i < kCurvePoints; ++i) {
            ar << m_pForce[i].x << m_pForce[i].y << m_pReference[i].x << m_pReference[i].y;
        }
        ar << m_nNodeID;
        ar.WriteString(Utf8ToCp1252(m_strStation));
        for (int z : m_nZoneInfo) {
            ar << z;
        }
        ar << m_nPeakForce;
        return;
    }
    m_strSavedTitle = Cp1252ToUtf8(ar.ReadString());
    for (int i = 0; i < kCurvePoints; ++i) {
        ar >> m_pForce[i].x >> m_pForce[i].y >> m_pReference[i].x >> m_pReference[i].y;
    }
    ar >> m_nNodeID;
    m_strStation = Cp1252ToUtf8(ar.ReadString());
    for (int& z : m_nZoneInfo) {
        ar >> z;
    }
    ar >> m_nPeakForce;
    // Anything after the last field is not a curve file of ours.
    if (ar.Remaining() != 0) {
        throw CArchiveException(CArchiveException::badIndex, "data after the curve");
    }
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}

bool CCurveDoc::OnOpenDocument(const std::string& strPathName) {
    if (!CDocument::OnOpenDocument(strPathName)) {
        return false;
    }
    m_bHasData = true;
    m_bCanReload = false;
    SetTitle(m_strSavedTitle);
    UpdateAllViews(nullptr, HINT_NEW_DATA);
    return true;
}

void CCurveDoc::DeleteContents() {
    m_pForce.assign(kCurvePoints, tagPOINT{0, 0});
    m_pReference.assign(kCurvePoints, tagPOINT{0, 0});
    for (int& z : m_nZoneInfo) {
        z = 0;
    }
    m_nPeakForce = 0;
    m_nPassCount = 0;
    m_nFailCount = 0;
    for (short& r : m_nResultS) {
        r = 0;
    }
    for (unsigned short& r : m_nResultU) {
        r = 0;
    }
    m_strSavedTitle.clear();
    m_bHasData = false;
}
