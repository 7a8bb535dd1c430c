#include "app/graphs/CurveDoc.h"

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
#include "records/CurveFile.h"
#include "records/CurveRecord.h"
#include "records/Press.h"
#include "records/TimeText.h"

#include <algorithm>
#include <iterator>

namespace {

// A downloaded curve with everything the analyser reported beside it, into the history.
void RecordInHistory(const CCurveDoc& doc) {
    CQuorvelApp* pApp = GetQuorvelApp();
    CHistoryRecorder* pHistory = pApp != nullptr ? pApp->GetHistory() : nullptr;
    if (pHistory == nullptr) {
        return;
    }
    CCurveRecord curve;
    curve.m_strTitle = doc.GetTitle();
    curve.m_pForce = doc.m_pForce;
    curve.m_pReference = doc.m_pReference;
    curve.m_nNodeID = doc.m_nNodeID;
    curve.m_strStation = doc.m_strStation;
    std::copy(std::begin(doc.m_nZoneInfo), std::end(doc.m_nZoneInfo),
              std::begin(curve.m_nZoneInfo));
    curve.m_nPeakForce = doc.m_nPeakForce;
    curve.m_bHasResults = true;
    std::copy(std::begin(doc.m_nResultS), std::end(doc.m_nResultS), std::begin(curve.m_nResultS));
    std::copy(std::begin(doc.m_nResultU), std::end(doc.m_nResultU), std::begin(curve.m_nResultU));
    curve.m_nPassCount = doc.m_nPassCount;
    curve.m_nFailCount = doc.m_nFailCount;
    curve.m_nTimeMs = CTimeText::NowUtcMs();
    pHistory->RecordCurve(pHistory->StationOf(doc.m_nNodeID, doc.m_strStation), curve);
}

} // namespace

CCurveDoc::CCurveDoc()
    : m_pForce(kCurvePoints, tagPOINT{0, 0}), m_pReference(kCurvePoints, tagPOINT{0, 0}) {
    MapCommand(
        ID_REFRESH_DATA, [this] { Reload(CLineJob{}); },
        [this](CCmdUI& ui) { ui.Enable(m_bCanReload); });
}

// What a download brings, filled on the line's thread and taken over on the window's.
struct CCurveDoc::CDownload {
    std::vector<tagPOINT> force = std::vector<tagPOINT>(kCurvePoints, tagPOINT{0, 0});
    std::vector<tagPOINT> reference = std::vector<tagPOINT>(kCurvePoints, tagPOINT{0, 0});
    int zones[5] = {};
    int nPeak = 0;
    short resultS[4] = {};
    unsigned short resultU[4] = {};
    unsigned int nPass = 0;
    unsigned int nFail = 0;
};

void CCurveDoc::SetPress(CPress* pPress, CLineJob job) {
    if (pPress != nullptr) {
        m_nNodeID = pPress->GetNodeID();
        m_strStation = pPress->GetName();
    }
    Reload(std::move(job));
}

void CCurveDoc::Reload(CLineJob job) {
    if (!m_bCanReload || m_download.IsRunning()) {
        job.Finish();
        return;
    }
    // The title changes before the first request, so a failed download has renamed it too.
    SetTitle(CGraphFormat::Format("Downloaded Curve - %s (Node - %d) (%s)", m_strStation.c_str(),
                                  m_nNodeID, CGraphFormat::DateTimeNow().c_str()));
    auto data = std::make_shared<CDownload>();
    const auto node = static_cast<unsigned char>(m_nNodeID);
    const auto nNode = static_cast<unsigned int>(m_nNodeID);
    std::vector<CLineClient::Step> steps{
        [data, node](CZarnPort& port) {
            return port.DownloadForceCurve(node, data->force.data()) != 0;
        },
        [data, node](CZarnPort& port) {
            return port.DownloadReference(node, data->reference.data()) != 0;
        },
        [data, nNode](CZarnPort& port) {
            int* z = data->zones;
            return port.GetZoneInfo(nNode, &z[0], &z[1], &z[2], &z[3], &z[4]) != 0;
        },
        [data, nNode](CZarnPort& port) { return port.GetPeakForce(nNode, &data->nPeak) != 0; },
        [data, nNode](CZarnPort& port) {
            short* s = data->resultS;
            unsigned short* u = data->resultU;
            return port.GetResultInfo(nNode, &s[0], &s[1], &s[2], &s[3], &u[0], &u[1], &u[2],
                                      &u[3]) != 0;
        },
        [data, nNode](CZarnPort& port) {
            return port.GetPassFailCount(nNode, &data->nPass, &data->nFail) != 0;
        },
    };
    // A window shown already is busy meanwhile; a new one is not yet there to show it.
    m_download.Start(std::move(job),
                     CGraphFormat::Format("Downloading force curve: %s (node %d)",
                                          m_strStation.c_str(), m_nNodeID),
                     m_bHasData ? GetFirstView() : nullptr, std::move(steps),
                     [this, data](const CLineClient::Result& result, CLineJob& done) {
                         OnDownloaded(result, *data, done);
                     });
}

void CCurveDoc::OnDownloaded(const CLineClient::Result& result, const CDownload& data,
                             CLineJob& job) {
    if (result.outcome == CLineClient::Outcome::done) {
        m_pForce = data.force;
        m_pReference = data.reference;
        std::copy(std::begin(data.zones), std::end(data.zones), std::begin(m_nZoneInfo));
        m_nPeakForce = data.nPeak;
        std::copy(std::begin(data.resultS), std::end(data.resultS), std::begin(m_nResultS));
        std::copy(std::begin(data.resultU), std::end(data.resultU), std::begin(m_nResultU));
        m_nPassCount = data.nPass;
        m_nFailCount = data.nFail;
        m_bHasData = true;
        m_nTimeMs = CTimeText::NowUtcMs();
        job.bOk = true;
        RecordInHistory(*this);
        UpdateAllViews(nullptr, HINT_NEW_DATA);
        return;
    }
    if (result.outcome == CLineClient::Outcome::cancelled) {
        job.bCancelled = true;
        // Cancelled by the operator: a window never shown goes quietly, a shown one keeps
        // what it had.
        if (!m_bHasData) {
            UpdateAllViews(nullptr, HINT_CLOSE);
        }
        return;
    }
    // The curve itself, or what belongs to it, could not be read.
    AfxMessageBox(LineFailureText(result, CStringTable::Format1(result.nStepsDone == 0
                                                                    ? IDS_CURVE_DOWNLOAD_FAILED
                                                                    : IDS_CURVE_ACCESS_PROBLEM,
                                                                m_strStation)),
                  MB_OK | MB_ICONSTOP);
    UpdateAllViews(nullptr, HINT_CLOSE);
}
void CCurveDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        m_strSavedTitle = GetTitle();
        CCurveRecord curve = ToRecord();
        curve.m_strTitle = m_strSavedTitle;
        CCurveFile::Store(ar, curve);
        return;
    }
    // Read whole before anything is taken over: a damaged file leaves the document as it was.
    CCurveRecord curve;
    CCurveFile::Load(ar, curve);
    FromRecord(curve);
    m_strSavedTitle = curve.m_strTitle;
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}

CCurveRecord CCurveDoc::ToRecord() const {
    CCurveRecord curve;
    curve.m_strTitle = GetTitle();
    curve.m_pForce = m_pForce;
    curve.m_pReference = m_pReference;
    curve.m_nNodeID = m_nNodeID;
    curve.m_strStation = m_strStation;
    std::copy(std::begin(m_nZoneInfo), std::end(m_nZoneInfo), std::begin(curve.m_nZoneInfo));
    curve.m_nPeakForce = m_nPeakForce;
    // Only a download brings the results; a curve read from its file has none.
    curve.m_bHasResults = m_bCanReload && m_bHasData;
    if (curve.m_bHasResults) {
        std::copy(std::begin(m_nResultS), std::end(m_nResultS), std::begin(curve.m_nResultS));
        std::copy(std::begin(m_nResultU), std::end(m_nResultU), std::begin(curve.m_nResultU));
        curve.m_nPassCount = m_nPassCount;
        curve.m_nFailCount = m_nFailCount;
        curve.m_nTimeMs = m_nTimeMs;
    }
    return curve;
}

void CCurveDoc::FromRecord(const CCurveRecord& curve) {
    m_pForce = curve.m_pForce;
    m_pReference = curve.m_pReference;
    m_pForce.resize(kCurvePoints, tagPOINT{0, 0});
    m_pReference.resize(kCurvePoints, tagPOINT{0, 0});
    m_nNodeID = curve.m_nNodeID;
    m_strStation = curve.m_strStation;
    std::copy(std::begin(curve.m_nZoneInfo), std::end(curve.m_nZoneInfo), std::begin(m_nZoneInfo));
    m_nPeakForce = curve.m_nPeakForce;
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
    m_nTimeMs = 0;
}
