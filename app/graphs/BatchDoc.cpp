#include "app/graphs/BatchDoc.h"

#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/UpdateHints.h"
#include "app/framework/View.h"
#include "app/graphs/GraphFormat.h"
#include "app/history/HistoryRecorder.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "base/Archive.h"
#include "network/ZarnPort.h"
#include "records/BatchFile.h"
#include "records/BatchRecord.h"
#include "records/Press.h"
#include "records/TimeText.h"

#include <algorithm>

CBatchDoc::CBatchDoc() : m_pPoints(kCapacity, tagPOINT{0, 0}) {
    MapCommand(
        ID_REFRESH_DATA, [this] { Reload(CLineJob{}); },
        [this](CCmdUI& ui) { ui.Enable(m_bCanReload); });
}

// What a download brings, filled on the line's thread and taken over on the window's.
struct CBatchDoc::CDownload {
    std::vector<tagPOINT> points = std::vector<tagPOINT>(kCapacity, tagPOINT{0, 0});
    unsigned short nCount = 0;
    CStats stats;
    bool bStatsRead = false;
};

void CBatchDoc::SetPress(CPress* pPress, CLineJob job) {
    m_pPress = pPress;
    Reload(std::move(job));
}

void CBatchDoc::OnPressRemoved(CPress* pPress) {
    if (pPress == m_pPress && pPress != nullptr) {
        m_strStation = pPress->GetName();
        m_nNodeID = pPress->GetNodeID();
        m_pPress = nullptr;
    }
}

void CBatchDoc::Reload(CLineJob job) {
    if (!m_bCanReload || m_download.IsRunning()) {
        job.Finish();
        return;
    }
    if (m_pPress != nullptr) {
        m_strStation = m_pPress->GetName();
        m_nNodeID = m_pPress->GetNodeID();
    }
    auto data = std::make_shared<CDownload>();
    data->stats = m_stats;
    const auto node = static_cast<unsigned int>(m_nNodeID);
    std::vector<CLineClient::Step> steps{
        [data, node](CZarnPort& port) {
            // Statistics that cannot be read are not worth a message: the batch is what counts.
            data->bStatsRead = port.GetStatistics(node, data->stats) != 0;
            return true;
        },
        [data, node](CZarnPort& port) {
            return port.DownloadBatchBuffer(static_cast<unsigned char>(node), data->points.data(),
                                            &data->nCount, data->stats, kCapacity) != 0;
        },
    };
    m_download.Start(std::move(job),
                     CGraphFormat::Format("Downloading batch buffer: %s (node %d)",
                                          m_strStation.c_str(), m_nNodeID),
                     m_bHasData ? GetFirstView() : nullptr, std::move(steps),
                     [this, data](const CLineClient::Result& result, CLineJob& done) {
                         OnDownloaded(result, *data, done);
                     });
}

void CBatchDoc::OnDownloaded(const CLineClient::Result& result, CDownload& data, CLineJob& job) {
    // The statistics were read whatever became of the batch after them.
    if (data.bStatsRead) {
        RecordInHistory(data, false);
    }
    if (result.outcome == CLineClient::Outcome::cancelled) {
        job.bCancelled = true;
        if (!m_bHasData) {
            UpdateAllViews(nullptr, HINT_CLOSE);
        }
        return;
    }
    m_nLimitLine = 0;
    m_stats = data.stats;
    if (result.outcome != CLineClient::Outcome::done) {
        m_nCount = 0;
        AfxMessageBox(
            LineFailureText(result, CStringTable::Format1(IDS_BATCH_DOWNLOAD_FAILED, m_strStation)),
            MB_OK | MB_ICONSTOP);
        UpdateAllViews(nullptr, HINT_CLOSE);
        return;
    }
    m_nCount = static_cast<unsigned short>(std::min<unsigned>(data.nCount, kCapacity));
    std::copy(data.points.begin(), data.points.begin() + m_nCount, m_pPoints.begin());
    if (m_nCount == 0) {
        AfxMessageBox(CStringTable::Format1(IDS_NO_BATCH_DATA, std::to_string(m_nNodeID)),
                      MB_OK | MB_ICONSTOP);
        UpdateAllViews(nullptr, HINT_CLOSE);
        return;
    }
    SetTitle(CGraphFormat::Format("Batch Buffer  - %s (Node - %d) (%s)", m_strStation.c_str(),
                                  m_nNodeID, CGraphFormat::DateTimeNow().c_str()));
    m_bHasData = true;
    m_nTimeMs = CTimeText::NowUtcMs();
    job.bOk = true;
    RecordInHistory(data, true);
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}

void CBatchDoc::RecordInHistory(const CDownload& data, bool bBatch) const {
    CQuorvelApp* pApp = GetQuorvelApp();
    CHistoryRecorder* pHistory = pApp != nullptr ? pApp->GetHistory() : nullptr;
    if (pHistory == nullptr) {
        return;
    }
    const CHistoryStation station = pHistory->StationOf(m_nNodeID, m_strStation);
    if (!bBatch) {
        pHistory->RecordStatistics(station, data.stats, CHistoryStore::Source::download);
        return;
    }
    CBatchRecord batch;
    batch.m_strTitle = GetTitle();
    batch.m_points.assign(m_pPoints.begin(), m_pPoints.begin() + m_nCount);
    batch.m_nLimitLine = m_nLimitLine;
    batch.m_stats = data.stats;
    batch.m_bHasStats = data.bStatsRead;
    batch.m_nNodeID = m_nNodeID;
    batch.m_strStation = m_strStation;
    batch.m_nTimeMs = CTimeText::NowUtcMs();
    pHistory->RecordBatch(station, batch);
}

void CBatchDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        m_strSavedTitle = GetTitle();
        CBatchRecord batch = ToRecord();
        batch.m_strTitle = m_strSavedTitle;
        CBatchFile::Store(ar, batch);
        return;
    }
    CBatchRecord batch;
    CBatchFile::Load(ar, batch);
    m_strSavedTitle = batch.m_strTitle;
    std::copy(batch.m_points.begin(), batch.m_points.end(), m_pPoints.begin());
    m_nCount = static_cast<unsigned short>(batch.m_points.size());
    m_nLimitLine = batch.m_nLimitLine;
    m_stats.m_nMax = batch.m_stats.m_nMax;
}

CBatchRecord CBatchDoc::ToRecord() const {
    CBatchRecord batch;
    batch.m_strTitle = GetTitle();
    batch.m_points.assign(m_pPoints.begin(), m_pPoints.begin() + m_nCount);
    batch.m_nLimitLine = m_nLimitLine;
    batch.m_stats = m_stats;
    // A batch read from its file knows only its maximum, and not its station's node.
    batch.m_bHasStats = m_bCanReload && m_bHasData;
    batch.m_nNodeID = m_bCanReload ? m_nNodeID : -1;
    batch.m_strStation = m_strStation;
    batch.m_nTimeMs = m_bCanReload ? m_nTimeMs : 0;
    return batch;
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
    m_nTimeMs = 0;
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
