#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

class CBatchRecord;
class CCsvWriter;
class CCurveRecord;
class CJsonWriter;
class CStats;

// Curves, batches and statistics as CSV (for spreadsheets) and JSON (for scripts). Times are
// ISO 8601 UTC; an unknown time (a record read from a file) is an empty field or null.
class CRecordExport {
public:
    // A block of "name,value" lines (station, node, time, title, zones, peak, results and
    // counts), then "Index,Force,Reference" and one line per downloaded sample.
    static void WriteCurveCsv(std::ostream& out, const CCurveRecord& curve);
    // The entries ("Index,Value"), then the statistics as "name,value" lines.
    static void WriteBatchCsv(std::ostream& out, const CBatchRecord& batch);

    // The statistics table: the heading line, then one line per reading with its time.
    static void WriteStatsCsvHeading(CCsvWriter& csv);
    static void WriteStatsCsvRow(CCsvWriter& csv, std::int64_t timeMs, const std::string& station,
                                 int nodeID, const CStats& stats);
    // The same cells without ending the line, for callers that add columns of their own.
    static void WriteStatsCsvCells(CCsvWriter& csv, std::int64_t timeMs, const std::string& station,
                                   int nodeID, const CStats& stats);

    // One JSON object each (the writer positioned where a value may go).
    static void WriteCurveJson(CJsonWriter& json, const CCurveRecord& curve);
    static void WriteBatchJson(CJsonWriter& json, const CBatchRecord& batch);
    // The statistics members (mean, stddev, cpk, cp, min, max, good, bad, blo) into an open
    // object.
    static void WriteStatsMembers(CJsonWriter& json, const CStats& stats);

    // count / total x 100, 0 when either is 0, as the statistics window shows it.
    static double Percent(unsigned long count, unsigned long total);
};
