#include "app/historyview/HistoryDoc.h"

#include "app/framework/UpdateHints.h"
#include "app/history/HistorySettings.h"
#include "app/historyview/HistoryWorker.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "records/TimeText.h"

#include <QMetaObject>

#include <algorithm>
#include <limits>
#include <utility>

struct CHistoryDoc::CResult {
    std::string strError;
    std::vector<std::vector<CChartBucket>> charts;
    std::vector<CHistoryChangeEntry> changes;
    std::int64_t nBucketMs = 0;
};

namespace {

// A plant database holds many lines whose node IDs repeat: only this workstation's records
// are its stations'. A local file is this workstation's own.
bool IsPlantDatabase(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

} // namespace

CHistoryDoc::CHistoryDoc() = default;

CHistoryDoc::~CHistoryDoc() = default;

CHistoryDoc* CHistoryDoc::OpenFor(const std::vector<Station>& stations) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr || pApp->m_pHistoryTemplate == nullptr || stations.empty()) {
        return nullptr;
    }
    auto* pDoc = dynamic_cast<CHistoryDoc*>(pApp->m_pHistoryTemplate->OpenDocumentFile(nullptr));
    if (pDoc != nullptr) {
        pDoc->SetStations(stations);
        pDoc->Refresh();
    }
    return pDoc;
}

void CHistoryDoc::SetStations(std::vector<Station> stations) {
    m_stations = std::move(stations);
    std::string title = "History -";
    for (std::size_t i = 0; i < m_stations.size(); ++i) {
        title += (i == 0 ? " " : ", ") + m_stations[i].first;
    }
    SetTitle(title);
}

void CHistoryDoc::SetRange(const CHistoryRange& range) {
    m_range = range;
    m_bFitRange = false;
}

bool CHistoryDoc::IsEmpty() const {
    const bool bNoPoints = std::all_of(m_charts.begin(), m_charts.end(),
                                       [](const auto& chart) { return chart.empty(); });
    return bNoPoints && m_changes.empty();
}

void CHistoryDoc::Refresh() {
    CQuorvelApp* pApp = GetQuorvelApp();
    const std::string target = pApp != nullptr ? pApp->GetHistoryReadTarget() : std::string();
    if (m_pWorker == nullptr) {
        m_pWorker = std::make_unique<CHistoryWorker>(
            CHistorySettings::WithStoredPassword(target), [this](std::function<void()> done) {
                QMetaObject::invokeMethod(&m_context, std::move(done), Qt::QueuedConnection);
            });
    }
    m_range.Resolve(CTimeText::NowUtcMs());
    CHistoryRange range = m_range;
    if (m_bFitRange) {
        range.m_span = CHistoryRange::Span::year;
        range.Resolve(CTimeText::NowUtcMs());
    }
    const std::vector<Station> stations = m_stations;
    const std::string workstation =
        IsPlantDatabase(target) ? CHistoryStore::DefaultWorkstation() : std::string();
    // Fitting the range looks at a year by the hour, to tell records of the last day apart.
    const std::int64_t nBucketMs =
        m_bFitRange ? CHistoryRange::kHour : CHistoryRange::BucketMs(range.LengthMs());
    const unsigned nGeneration = ++m_nGeneration;
    m_state = State::loading;
    UpdateAllViews(nullptr);
    m_pWorker->Post([this, nGeneration, range, stations, nBucketMs,
                     workstation](CHistoryQuery* pQuery,
                                  const std::string& strError) -> std::function<void()> {
        auto pResult = std::make_shared<CResult>();
        pResult->nBucketMs = nBucketMs;
        if (pQuery == nullptr) {
            pResult->strError = strError;
        }
        for (const Station& station : stations) {
            if (pQuery == nullptr || !pResult->strError.empty()) {
                break;
            }
            CHistoryFilter filter;
            filter.m_nNodeID = station.second;
            filter.m_strWorkstation = workstation;
            filter.m_nSince = range.m_nFromMs;
            filter.m_nUntil = range.m_nToMs;
            std::vector<CChartBucket> chart;
            std::vector<CHistoryChangeEntry> changes;
            filter.m_nLimit = 0;
            if (!pQuery->Chart(filter, pResult->nBucketMs, chart)) {
                pResult->strError = pQuery->GetError();
                break;
            }
            filter.m_nLimit = kMaxChanges;
            if (!pQuery->Changes(filter, changes)) {
                pResult->strError = pQuery->GetError();
                break;
            }
            pResult->charts.push_back(std::move(chart));
            pResult->changes.insert(pResult->changes.end(), changes.begin(), changes.end());
        }
        std::stable_sort(pResult->changes.begin(), pResult->changes.end(),
                         [](const auto& a, const auto& b) { return a.m_nTimeMs > b.m_nTimeMs; });
        if (pResult->changes.size() > kMaxChanges) {
            pResult->changes.resize(kMaxChanges);
        }
        return [this, nGeneration, pResult] { OnResult(nGeneration, *pResult); };
    });
}

void CHistoryDoc::OnResult(unsigned nGeneration, const CResult& result) {
    // An answer to an older question: the newer one is on its way.
    if (nGeneration != m_nGeneration) {
        return;
    }
    if (std::exchange(m_bFitRange, false) && result.strError.empty()) {
        // The shortest span that holds every record of the year; the window shows that.
        std::int64_t oldest = std::numeric_limits<std::int64_t>::max();
        for (const auto& chart : result.charts) {
            for (const CChartBucket& bucket : chart) {
                if (bucket.m_nReadings > 0) {
                    oldest = std::min(oldest, bucket.m_nStartMs);
                }
            }
        }
        for (const CHistoryChangeEntry& change : result.changes) {
            oldest = std::min(oldest, change.m_nTimeMs);
        }
        const std::int64_t now = CTimeText::NowUtcMs();
        const CHistoryRange::Span span = oldest == std::numeric_limits<std::int64_t>::max()
                                             ? CHistoryRange::Span::week
                                             : CHistoryRange::FittingSpan(oldest, now);
        // The range chosen is asked again, in buckets of its own size.
        m_range.m_span = span;
        Refresh();
        return;
    }
    m_strError = result.strError;
    m_state = m_strError.empty() ? State::ready : State::failed;
    m_charts = m_strError.empty() ? result.charts : std::vector<std::vector<CChartBucket>>();
    m_changes = m_strError.empty() ? result.changes : std::vector<CHistoryChangeEntry>();
    m_nBucketMs = result.nBucketMs;
    UpdateAllViews(nullptr, HINT_NEW_DATA);
}
