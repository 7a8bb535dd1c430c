#include "service/PassingRecords.h"

#include "records/TimeText.h"

namespace {

std::vector<tagPOINT> PointsOf(const std::vector<std::uint16_t>& values, std::size_t nSize) {
    std::vector<tagPOINT> points(nSize);
    for (std::size_t i = 0; i < nSize && i < values.size(); ++i) {
        points[i] = {static_cast<std::int32_t>(i), static_cast<std::int32_t>(values[i])};
    }
    return points;
}

} // namespace

void CPassingRecords::Note(const CZarnCall& call, const CZarnOutcome& outcome) {
    std::lock_guard lock(m_mutex);
    const int nNode = static_cast<int>(call.m_nNodeID);
    const bool bOk = outcome.m_nResult != 0;
    const bool bSameCurve = m_curve && m_curve->m_nNodeID == nNode;
    switch (call.m_op) {
    case ZarnOp::statistics:
        FlushLocked();
        if (bOk) {
            m_stats = outcome.m_stats;
            m_stats->m_nNodeID = nNode;
        }
        return;
    case ZarnOp::batch: {
        const std::optional<CStats> stats =
            m_stats && m_stats->m_nNodeID == nNode ? m_stats : std::nullopt;
        if (stats) {
            m_stats.reset();
        }
        FlushLocked();
        const CHistoryStation station = m_sink.stationOf(nNode);
        // The statistics read for the batch belong to the download, whatever became of it.
        if (stats) {
            m_sink.statistics(station, *stats, true);
        }
        if (bOk && !outcome.m_points.empty()) {
            CBatchRecord batch;
            batch.m_points = PointsOf(outcome.m_points, outcome.m_points.size());
            batch.m_stats = stats ? *stats : outcome.m_stats;
            batch.m_bHasStats = stats.has_value();
            batch.m_nNodeID = nNode;
            batch.m_strStation = station.m_strName;
            batch.m_nTimeMs = CTimeText::NowUtcMs();
            m_sink.batch(station, batch);
        }
        return;
    }
    case ZarnOp::forceCurve:
        FlushLocked();
        if (bOk) {
            m_curve.emplace();
            m_curve->m_nNodeID = nNode;
            m_curve->m_pForce = PointsOf(outcome.m_points, CCurveRecord::kCurvePoints);
            m_curve->m_nTimeMs = CTimeText::NowUtcMs();
        }
        return;
    case ZarnOp::reference:
    case ZarnOp::zoneInfo:
    case ZarnOp::peakForce:
    case ZarnOp::resultInfo:
    case ZarnOp::passFailCount:
        if (!bSameCurve) {
            FlushLocked();
            return;
        }
        break;
    default:
        FlushLocked();
        return;
    }
    // A part of the curve being downloaded.
    const auto& v = outcome.m_values;
    if (bOk && call.m_op == ZarnOp::reference) {
        m_curve->m_pReference = PointsOf(outcome.m_points, CCurveRecord::kCurvePoints);
    } else if (bOk && call.m_op == ZarnOp::zoneInfo && v.size() == 5) {
        std::copy(v.begin(), v.end(), m_curve->m_nZoneInfo);
    } else if (bOk && call.m_op == ZarnOp::peakForce && v.size() == 1) {
        m_curve->m_nPeakForce = v[0];
    } else if (bOk && call.m_op == ZarnOp::resultInfo && v.size() == 8) {
        for (int i = 0; i < 4; ++i) {
            m_curve->m_nResultS[i] = static_cast<short>(v[i]);
            m_curve->m_nResultU[i] = static_cast<unsigned short>(v[4 + i]);
        }
        m_curve->m_bHasResults = true;
    } else if (bOk && call.m_op == ZarnOp::passFailCount && v.size() == 2) {
        m_curve->m_nPassCount = static_cast<unsigned>(v[0]);
        m_curve->m_nFailCount = static_cast<unsigned>(v[1]);
    }
    // The counts are the download's last call.
    if (call.m_op == ZarnOp::passFailCount || !bOk) {
        FlushLocked();
    }
}

void CPassingRecords::Flush() {
    std::lock_guard lock(m_mutex);
    FlushLocked();
}

void CPassingRecords::FlushLocked() {
    if (m_stats) {
        m_sink.statistics(m_sink.stationOf(m_stats->m_nNodeID), *m_stats, false);
        m_stats.reset();
    }
    if (m_curve) {
        const CHistoryStation station = m_sink.stationOf(m_curve->m_nNodeID);
        m_curve->m_strStation = station.m_strName;
        m_sink.curve(station, *m_curve);
        m_curve.reset();
    }
}
