#include "network/ZarndMessage.h"

#include <algorithm>
#include <cstring>

namespace ZarndMessage {

namespace {

class CWriter {
public:
    void U8(std::uint8_t v) { m_bytes.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void F32(float f) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        U32(bits);
    }
    std::vector<std::uint8_t> m_bytes;
};

class CReader {
public:
    explicit CReader(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}
    bool U8(std::uint8_t& v) {
        if (m_nPos >= m_bytes.size()) {
            return false;
        }
        v = m_bytes[m_nPos++];
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::uint8_t lo = 0, hi = 0;
        if (!U8(lo) || !U8(hi)) {
            return false;
        }
        v = static_cast<std::uint16_t>(lo | hi << 8);
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint16_t lo = 0, hi = 0;
        if (!U16(lo) || !U16(hi)) {
            return false;
        }
        v = static_cast<std::uint32_t>(lo) | static_cast<std::uint32_t>(hi) << 16;
        return true;
    }
    bool F32(float& f) {
        std::uint32_t bits = 0;
        if (!U32(bits)) {
            return false;
        }
        std::memcpy(&f, &bits, sizeof f);
        return true;
    }
    bool Left(std::size_t n) const { return m_bytes.size() - m_nPos >= n; }
    bool AtEnd() const { return m_nPos == m_bytes.size(); }
    std::size_t Pos() const { return m_nPos; }
    void Skip(std::size_t n) { m_nPos += n; }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_nPos = 0;
};

void WriteStats(CWriter& w, const CStats& s) {
    w.F32(s.m_fMean);
    w.F32(s.m_fCpk);
    w.F32(s.m_fCp);
    w.F32(s.m_fStdDev);
    w.U16(static_cast<std::uint16_t>(s.m_nMax));
    w.U16(static_cast<std::uint16_t>(s.m_nMin));
    w.U16(s.m_nBad);
    w.U16(s.m_nGood);
    w.U16(s.m_nBatchMax);
    w.U16(s.m_nBLO);
}

bool ReadStats(CReader& r, CStats& s) {
    std::uint16_t max = 0, min = 0;
    if (!r.F32(s.m_fMean) || !r.F32(s.m_fCpk) || !r.F32(s.m_fCp) || !r.F32(s.m_fStdDev) ||
        !r.U16(max) || !r.U16(min) || !r.U16(s.m_nBad) || !r.U16(s.m_nGood) ||
        !r.U16(s.m_nBatchMax) || !r.U16(s.m_nBLO)) {
        return false;
    }
    s.m_nMax = static_cast<short>(max);
    s.m_nMin = static_cast<short>(min);
    return true;
}

} // namespace

std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& payload) {
    CWriter w;
    w.U32(static_cast<std::uint32_t>(payload.size()));
    w.m_bytes.insert(w.m_bytes.end(), payload.begin(), payload.end());
    return std::move(w.m_bytes);
}

std::vector<std::uint8_t> EncodeRequest(std::uint32_t id, const CZarnCall& call) {
    CWriter w;
    w.U8(request);
    w.U32(id);
    w.U8(static_cast<std::uint8_t>(call.m_op));
    w.U32(call.m_nNodeID);
    w.U32(call.m_nValue);
    return std::move(w.m_bytes);
}

std::vector<std::uint8_t> EncodeStarted(std::uint32_t id) {
    CWriter w;
    w.U8(started);
    w.U32(id);
    return std::move(w.m_bytes);
}

std::vector<std::uint8_t> EncodeOutcome(std::uint32_t id, const CZarnOutcome& o) {
    CWriter w;
    w.U8(outcome);
    w.U32(id);
    w.U8(o.m_nResult ? 1 : 0);
    w.U8(static_cast<std::uint8_t>(o.m_error));
    w.U8(o.m_carried ? 1 : 0);
    const CZarnRequest carried = o.m_carried.value_or(CZarnRequest{});
    w.U8(carried.m_nNodeID);
    w.U8(carried.m_nCode);
    w.U16(carried.m_nData);
    const std::size_t nDetail = std::min(o.m_strDetail.size(), CZarnOutcome::kMaxDetail);
    w.U16(static_cast<std::uint16_t>(nDetail));
    w.m_bytes.insert(w.m_bytes.end(), o.m_strDetail.begin(),
                     o.m_strDetail.begin() + static_cast<std::ptrdiff_t>(nDetail));
    const std::size_t nValues = std::min(o.m_values.size(), CZarnOutcome::kMaxValues);
    w.U8(static_cast<std::uint8_t>(nValues));
    for (std::size_t i = 0; i < nValues; ++i) {
        w.U32(static_cast<std::uint32_t>(o.m_values[i]));
    }
    const std::size_t nPoints = std::min(o.m_points.size(), CZarnOutcome::kMaxPoints);
    w.U32(static_cast<std::uint32_t>(nPoints));
    for (std::size_t i = 0; i < nPoints; ++i) {
        w.U16(o.m_points[i]);
    }
    WriteStats(w, o.m_stats);
    return std::move(w.m_bytes);
}

bool DecodeRequest(const std::vector<std::uint8_t>& payload, std::uint32_t& id, CZarnCall& call) {
    CReader r(payload);
    std::uint8_t kind = 0, op = 0;
    CZarnCall c;
    if (!r.U8(kind) || kind != request || !r.U32(id) || !r.U8(op) || !CZarnCall::IsOp(op) ||
        !r.U32(c.m_nNodeID) || !r.U32(c.m_nValue) || !r.AtEnd()) {
        return false;
    }
    c.m_op = static_cast<ZarnOp>(op);
    call = c;
    return true;
}

bool DecodeStarted(const std::vector<std::uint8_t>& payload, std::uint32_t& id) {
    CReader r(payload);
    std::uint8_t kind = 0;
    return r.U8(kind) && kind == started && r.U32(id) && r.AtEnd();
}

bool DecodeOutcome(const std::vector<std::uint8_t>& payload, std::uint32_t& id,
                   CZarnOutcome& outcome) {
    CReader r(payload);
    CZarnOutcome o;
    std::uint8_t kind = 0, result = 0, error = 0, hasCarried = 0, nValues = 0;
    CZarnRequest carried;
    std::uint16_t nDetail = 0;
    if (!r.U8(kind) || kind != ZarndMessage::outcome || !r.U32(id) || !r.U8(result) || result > 1 ||
        !r.U8(error) || error > static_cast<std::uint8_t>(ZarnError::refused) ||
        !r.U8(hasCarried) || hasCarried > 1 || !r.U8(carried.m_nNodeID) || !r.U8(carried.m_nCode) ||
        !r.U16(carried.m_nData) || !r.U16(nDetail) || nDetail > CZarnOutcome::kMaxDetail ||
        !r.Left(nDetail)) {
        return false;
    }
    o.m_nResult = result;
    o.m_error = static_cast<ZarnError>(error);
    if (hasCarried) {
        o.m_carried = carried;
    }
    o.m_strDetail.assign(payload.begin() + static_cast<std::ptrdiff_t>(r.Pos()),
                         payload.begin() + static_cast<std::ptrdiff_t>(r.Pos() + nDetail));
    r.Skip(nDetail);
    if (!r.U8(nValues) || nValues > CZarnOutcome::kMaxValues) {
        return false;
    }
    for (std::uint8_t i = 0; i < nValues; ++i) {
        std::uint32_t v = 0;
        if (!r.U32(v)) {
            return false;
        }
        o.m_values.push_back(static_cast<std::int32_t>(v));
    }
    std::uint32_t nPoints = 0;
    if (!r.U32(nPoints) || nPoints > CZarnOutcome::kMaxPoints ||
        !r.Left(2 * std::size_t{nPoints})) {
        return false;
    }
    o.m_points.resize(nPoints);
    for (std::uint32_t i = 0; i < nPoints; ++i) {
        r.U16(o.m_points[i]);
    }
    if (!ReadStats(r, o.m_stats) || !r.AtEnd()) {
        return false;
    }
    outcome = std::move(o);
    return true;
}

std::vector<std::uint8_t> EncodeReportRequest(std::uint32_t id) {
    CWriter w;
    w.U8(reportRequest);
    w.U32(id);
    return std::move(w.m_bytes);
}

bool DecodeReportRequest(const std::vector<std::uint8_t>& payload, std::uint32_t& id) {
    CReader r(payload);
    std::uint8_t kind = 0;
    return r.U8(kind) && kind == reportRequest && r.U32(id) && r.AtEnd();
}

std::vector<std::uint8_t> EncodeReport(std::uint32_t id, const CZarndReport& report) {
    CWriter w;
    w.U8(ZarndMessage::report);
    w.U32(id);
    const std::size_t nHistory = std::min(report.m_strHistory.size(), CZarndReport::kMaxHistory);
    w.U16(static_cast<std::uint16_t>(nHistory));
    w.m_bytes.insert(w.m_bytes.end(), report.m_strHistory.begin(),
                     report.m_strHistory.begin() + static_cast<std::ptrdiff_t>(nHistory));
    w.U8(report.m_bLineOpen ? 1 : 0);
    const std::size_t nStations = std::min(report.m_stations.size(), CZarndReport::kMaxStations);
    w.U16(static_cast<std::uint16_t>(nStations));
    for (std::size_t i = 0; i < nStations; ++i) {
        const CZarndStation& station = report.m_stations[i];
        w.U8(station.m_nNodeID);
        w.U8(static_cast<std::uint8_t>(station.m_presence));
        w.U32(station.m_nAskedAgoMs);
        w.U8(station.m_bHasReading ? 1 : 0);
        w.U32(station.m_nReadAgoMs);
        WriteStats(w, station.m_reading);
    }
    return std::move(w.m_bytes);
}

bool DecodeReport(const std::vector<std::uint8_t>& payload, std::uint32_t& id,
                  CZarndReport& report) {
    CReader r(payload);
    CZarndReport got;
    std::uint8_t kind = 0, lineOpen = 0;
    std::uint16_t nHistory = 0, nStations = 0;
    if (!r.U8(kind) || kind != ZarndMessage::report || !r.U32(id) || !r.U16(nHistory) ||
        nHistory > CZarndReport::kMaxHistory || !r.Left(nHistory)) {
        return false;
    }
    got.m_strHistory.assign(payload.begin() + static_cast<std::ptrdiff_t>(r.Pos()),
                            payload.begin() + static_cast<std::ptrdiff_t>(r.Pos() + nHistory));
    r.Skip(nHistory);
    if (!r.U8(lineOpen) || lineOpen > 1 || !r.U16(nStations) ||
        nStations > CZarndReport::kMaxStations) {
        return false;
    }
    got.m_bLineOpen = lineOpen != 0;
    for (std::uint16_t i = 0; i < nStations; ++i) {
        CZarndStation station;
        std::uint8_t presence = 0, hasReading = 0;
        if (!r.U8(station.m_nNodeID) || !r.U8(presence) ||
            presence > static_cast<std::uint8_t>(CZarndStation::Presence::silent) ||
            !r.U32(station.m_nAskedAgoMs) || !r.U8(hasReading) || hasReading > 1 ||
            !r.U32(station.m_nReadAgoMs) || !ReadStats(r, station.m_reading)) {
            return false;
        }
        station.m_presence = static_cast<CZarndStation::Presence>(presence);
        station.m_bHasReading = hasReading != 0;
        got.m_stations.push_back(station);
    }
    if (!r.AtEnd()) {
        return false;
    }
    report = std::move(got);
    return true;
}

} // namespace ZarndMessage
