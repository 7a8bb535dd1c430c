#include "app/graphs/BatchDoc.h"

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

#include <algorithm>

CBatchDoc::CBatchDoc() : m_pPoints(kCapacity, tagPOINT{0, 0}) {
    MapCommand(
        ID_REFRESH_DATA, [this] { Reload(); }, [this](CCmdUI& ui) { ui.Enable(m_bCanReload); });
}

void CBatchDoc::SetPress(CPress* pPress) {
    m_pPress = pPress;
    Reload();
}

void CBatchDoc::OnPressRemoved(CPress* pPress) {
    if (pPress == m_pPress && pPress != nullptr) {
        m_strStation = pPress->GetName();
        m_nNodeID = pPress->GetNodeID();
        m_pPress = nullptr;
    }
}

void CBatchDoc::Reload() {
    if (!m_bCanReload) {
        return;
    }
    CWaitCursor wait;
    if (m_pPress != nullptr) {
        m_strStation = m_pPress->GetName();
        m_nNodeID = m_pPress->GetNodeID();
    }
    m_nLimitLine = 0;
    m_nCount = 0;
    CQuorvelApp* pApp = GetQuorvelApp();
    CZarnPort* pPort = pApp != nullptr ? pApp->m_pPort : nullptr;
    int ok = 0;
    if (pPort != nullptr) {
        // Statistics that cannot be read are not worth a message: the batch is what counts.
        pPort->GetStatistics(static_cast<unsigned int>(m_nNodeID), m_stats);
        ok = pPort->DownloadBatchBuffer(static_cast<unsigned char>(m_nNodeID), m_pPoints.data(),
                                        &m_nCount, m_stats, kCapacity);
    }
    if (!ok) {
        m_nCount = 0;
        AfxMessageBox(CStringTable::Format1(IDS_BATCH_DOWNLOAD_FAILED, m_strStation),
                      MB_OK | MB_ICONSTOP);
        UpdateAllViews(nullptr, HINT_CLOSE);
        return;
    }
    m_nCount = static_cast<unsigned short>(std::min<unsigned>(m_nCount, kCapacity));
    if (m_nCount == 0) {
        AfxMessageBox(CStringTable::Format1(IDS_NO_BATCH_DATA, std::to_string(m_nNodeID)),
                      MB_OK | MB_ICONSTOP);
        UpdateAllViews(nullptr, HINT_CLOSE);
        return;
    }
    SetTitle(CGraphFormat::Format("Batch Buffer  - %s (Node - %d) (%s)", m_strStation.c_str(),
                                  m_nNodeID, CGraphFormat::DateTimeNow().c_str()));
    m_bHasData = true;
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}

void CBatchDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        m_strSavedTitle = GetTitle();
        ar.WriteString(Utf8ToCp1252(m_strSavedTitle));
        ar << m_nCount << static_cast<std::int32_t>(m_nLimitLine)
           << static_cast<std::int16_t>(m_stats.m_nMax);
        for (unsigned i = 0; i < m_nCount; ++i) {
            ar << m_pPoints[i].x << m_pPoints[i].y;
        }
        return;
    }
    m_strSavedTitle = Cp1252ToUtf8(ar.ReadString());
    std::uint16_t nCount = 0;
    std::int32_t nLimit = 0;
    std::int16_t nMax = 0;
    ar >> nCount >> nLimit >> nMax;
    // More entries than a document holds, or anything after them, is not a batch of ours.
    if (nCount > kCapacity || ar.Remaining() != std::size_t{nCount} * 8) {
        throw CArchiveException(CArchiveException::badIndex, "not a batch buffer");
    }
    for (unsigned i = 0; i < nCount; ++i) {
        ar >> m_pPoints[i].x >> m_pPoints[i].y;
    }
    m_nCount = nCount;
    m_nLimitLine = nLimit;
    m_stats.m_nMax = nMax;
}

bool CBatchDoc::OnOpenDocument(const std::string& strPathName) {
    if (!CDocument::OnOpenDocument(strPathName)) {
        return false;
    }
    m_bHasData = true;
    SetTitle(m_strSavedTitle);
    m_bCanReload = false;
    UpdateAllViews(nullptr, HINT_NEW_DATA);
    return true;
}

void CBatchDoc::DeleteContents() {
    m_nCount = 0;
    m_nLimitLine = 0;
    m_stats = CStats();
    m_strSavedTitle.clear();
    m_bHasData = false;
}

int CBatchDoc::GetFullRangeY() const {
    if (m_stats.m_nBatchMax != 0 || m_bCanReload) {
        return m_stats.m_nBatchMax;
    }
    int top = m_stats.m_nMax;
    for (unsigned i = 0; i < m_nCount; ++i) {
        top = std::max(top, m_pPoints[i].y);
    }
    return top;
}
