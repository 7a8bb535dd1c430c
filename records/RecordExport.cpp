#include "records/RecordExport.h"

#include "network/Stats.h"
#include "records/BatchRecord.h"
#include "records/CsvWriter.h"
#include "records/CurveRecord.h"
#include "records/JsonWriter.h"
#include "records/TextFormat.h"
#include "records/TimeText.h"

#include <ostream>

namespace {

const char* const kZoneNames[5] = {"Zone 1 start", "Zone 2 start", "Zone 3 start",
                                   "Zone 4 position", "Zone 4 extent"};
const char* const kResultNames[8] = {"RS1", "RS2", "RS3", "RSO", "RU1", "RU2", "RU3", "RUO"};

std::string TimeField(std::int64_t ms) {
    return ms != 0 ? CTimeText::FormatUtc(ms) : std::string();
}

void JsonTime(CJsonWriter& json, std::int64_t ms) {
    json.Key("time");
    if (ms != 0) {
        json.String(CTimeText::FormatUtc(ms));
    } else {
        json.Null();
    }
}

void JsonPoints(CJsonWriter& json, const char* key, const std::vector<tagPOINT>& points,
                std::size_t count) {
    json.Key(key).BeginArray();
    for (std::size_t i = 0; i < count && i < points.size(); ++i) {
        json.BeginArray().Int(points[i].x).Int(points[i].y).EndArray();
    }
    json.EndArray();
}

} // namespace

double CRecordExport::Percent(unsigned long count, unsigned long total) {
    return PercentOf(static_cast<long long>(count), static_cast<long long>(total));
}

void CRecordExport::WriteCurveCsv(std::ostream& out, const CCurveRecord& curve) {
    CCsvWriter csv(out);
    csv.Field("Station").Field(curve.m_strStation).EndRow();
    csv.Field("Node").Int(curve.m_nNodeID).EndRow();
    csv.Field("Time").Field(TimeField(curve.m_nTimeMs)).EndRow();
    csv.Field("Title").Field(curve.m_strTitle).EndRow();
    for (int i = 0; i < 5; ++i) {
        csv.Field(kZoneNames[i]).Int(curve.m_nZoneInfo[i]).EndRow();
    }
    csv.Field("Peak").Int(curve.m_nPeakForce).EndRow();
    // A curve read from a file has no results: their fields stay empty, not 0.
    for (int i = 0; i < 8; ++i) {
        csv.Field(kResultNames[i]);
        if (curve.m_bHasResults) {
            csv.Int(i < 4 ? curve.m_nResultS[i] : curve.m_nResultU[i - 4]);
        } else {
            csv.Empty();
        }
        csv.EndRow();
    }
    csv.Field("Pass");
    curve.m_bHasResults ? csv.Int(curve.m_nPassCount) : csv.Empty();
    csv.EndRow();
    csv.Field("Fail");
    curve.m_bHasResults ? csv.Int(curve.m_nFailCount) : csv.Empty();
    csv.EndRow();
    csv.Field("Index").Field("Force").Field("Reference").EndRow();
    for (std::size_t i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
        csv.Int(static_cast<long long>(i));
        i < curve.m_pForce.size() ? csv.Int(curve.m_pForce[i].y) : csv.Empty();
        i < curve.m_pReference.size() ? csv.Int(curve.m_pReference[i].y) : csv.Empty();
        csv.EndRow();
    }
}

void CRecordExport::WriteBatchCsv(std::ostream& out, const CBatchRecord& batch) {
    CCsvWriter csv(out);
    csv.Field("Station").Field(batch.m_strStation).EndRow();
    csv.Field("Node");
    batch.m_nNodeID >= 0 ? csv.Int(batch.m_nNodeID) : csv.Empty();
    csv.EndRow();
    csv.Field("Time").Field(TimeField(batch.m_nTimeMs)).EndRow();
    csv.Field("Title").Field(batch.m_strTitle).EndRow();
    csv.Field("Limit line").Int(batch.m_nLimitLine).EndRow();
    csv.Field("Index").Field("Value").EndRow();
    for (const tagPOINT& p : batch.m_points) {
        csv.Int(p.x).Int(p.y).EndRow();
    }
    const CStats& s = batch.m_stats;
    const unsigned long total = static_cast<unsigned long>(s.m_nGood) + s.m_nBad;
    // Of a batch read from a file only the maximum is known.
    auto row = [&](const char* name, auto write) {
        csv.Field(name);
        if (batch.m_bHasStats) {
            write();
        } else {
            csv.Empty();
        }
        csv.EndRow();
    };
    row("Good", [&] { csv.Int(s.m_nGood); });
    row("Bad", [&] { csv.Int(s.m_nBad); });
    row("Total", [&] { csv.Int(static_cast<long long>(total)); });
    row("%Bad", [&] { csv.Decimal(Percent(s.m_nBad, total), 1); });
    row("%Good", [&] { csv.Decimal(Percent(s.m_nGood, total), 1); });
    row("Min", [&] { csv.Int(s.m_nMin); });
    csv.Field("Max").Int(s.m_nMax).EndRow();
    row("Mean", [&] { csv.Decimal(s.m_fMean, 1); });
    row("StdDev", [&] { csv.Decimal(s.m_fStdDev, 1); });
    row("Cp", [&] { csv.Decimal(s.m_fCp, 1); });
    row("Cpk", [&] { csv.Decimal(s.m_fCpk, 1); });
    row("BLO", [&] { csv.Int(s.m_nBLO); });
}

void CRecordExport::WriteStatsCsvHeading(CCsvWriter& csv) {
    for (const char* h : {"Time", "Station", "Node", "Good", "Bad", "Total", "%Bad", "%Good", "Min",
                          "Max", "Mean", "StdDev", "Cp", "Cpk", "BLO"}) {
        csv.Field(h);
    }
    csv.EndRow();
}

void CRecordExport::WriteStatsCsvRow(CCsvWriter& csv, std::int64_t timeMs,
                                     const std::string& station, int nodeID, const CStats& s) {
    WriteStatsCsvCells(csv, timeMs, station, nodeID, s);
    csv.EndRow();
}

void CRecordExport::WriteStatsCsvCells(CCsvWriter& csv, std::int64_t timeMs,
                                       const std::string& station, int nodeID, const CStats& s) {
    const unsigned long total = static_cast<unsigned long>(s.m_nGood) + s.m_nBad;
    csv.Field(TimeField(timeMs)).Field(station).Int(nodeID);
    csv.Int(s.m_nGood).Int(s.m_nBad).Int(static_cast<long long>(total));
    csv.Decimal(Percent(s.m_nBad, total), 1).Decimal(Percent(s.m_nGood, total), 1);
    csv.Int(s.m_nMin).Int(s.m_nMax);
    csv.Decimal(s.m_fMean, 1).Decimal(s.m_fStdDev, 1).Decimal(s.m_fCp, 1).Decimal(s.m_fCpk, 1);
    csv.Int(s.m_nBLO);
}

void CRecordExport::WriteStatsMembers(CJsonWriter& json, const CStats& stats) {
    json.Key("mean").OneDecimal(stats.m_fMean);
    json.Key("stddev").OneDecimal(stats.m_fStdDev);
    json.Key("cpk").OneDecimal(stats.m_fCpk);
    json.Key("cp").OneDecimal(stats.m_fCp);
    json.Key("min").Int(stats.m_nMin);
    json.Key("max").Int(stats.m_nMax);
    json.Key("good").Int(stats.m_nGood);
    json.Key("bad").Int(stats.m_nBad);
    json.Key("blo").Int(stats.m_nBLO);
}

void CRecordExport::WriteCurveJson(CJsonWriter& json, const CCurveRecord& curve) {
    json.BeginObject();
    json.Key("title").String(curve.m_strTitle);
    json.Key("station").String(curve.m_strStation);
    json.Key("node").Int(curve.m_nNodeID);
    JsonTime(json, curve.m_nTimeMs);
    json.Key("zones").BeginArray();
    for (int z : curve.m_nZoneInfo) {
        json.Int(z);
    }
    json.EndArray();
    json.Key("peak").Int(curve.m_nPeakForce);
    if (curve.m_bHasResults) {
        json.Key("rs").BeginArray();
        for (short v : curve.m_nResultS) {
            json.Int(v);
        }
        json.EndArray().Key("ru").BeginArray();
        for (unsigned short v : curve.m_nResultU) {
            json.Int(v);
        }
        json.EndArray();
        json.Key("pass").Int(curve.m_nPassCount).Key("fail").Int(curve.m_nFailCount);
    } else {
        json.Key("rs").Null().Key("ru").Null().Key("pass").Null().Key("fail").Null();
    }
    JsonPoints(json, "force", curve.m_pForce, CCurveRecord::kDownloadedPoints);
    JsonPoints(json, "reference", curve.m_pReference, CCurveRecord::kDownloadedPoints);
    json.EndObject();
}

void CRecordExport::WriteBatchJson(CJsonWriter& json, const CBatchRecord& batch) {
    json.BeginObject();
    json.Key("title").String(batch.m_strTitle);
    json.Key("station").String(batch.m_strStation);
    json.Key("node");
    batch.m_nNodeID >= 0 ? json.Int(batch.m_nNodeID) : json.Null();
    JsonTime(json, batch.m_nTimeMs);
    json.Key("count").Int(static_cast<long long>(batch.m_points.size()));
    json.Key("limit_line").Int(batch.m_nLimitLine);
    JsonPoints(json, "points", batch.m_points, batch.m_points.size());
    json.Key("stats");
    if (batch.m_bHasStats) {
        json.BeginObject();
        WriteStatsMembers(json, batch.m_stats);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("max").Int(batch.m_stats.m_nMax);
    json.EndObject();
}
