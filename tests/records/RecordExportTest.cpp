#include "records/RecordExport.h"
#include "network/Stats.h"
#include "records/BatchRecord.h"
#include "records/CsvWriter.h"
#include "records/CurveRecord.h"
#include "records/TimeText.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(TimeText, Iso8601BothWays) {
    std::int64_t ms = 0;
    ASSERT_TRUE(CTimeText::ParseUtc("2024-05-01T12:34:56.789Z", ms));
    EXPECT_EQ(ms, 1714566896789);
    EXPECT_EQ(CTimeText::FormatUtc(ms), "2024-05-01T12:34:56.789Z");
    ASSERT_TRUE(CTimeText::ParseUtc("2024-05-01 14:34:56.789+02:00", ms));
    EXPECT_EQ(ms, 1714566896789);
    ASSERT_TRUE(CTimeText::ParseUtc("2024-02-29", ms));
    EXPECT_EQ(CTimeText::FormatUtc(ms), "2024-02-29T00:00:00.000Z");
    EXPECT_EQ(CTimeText::FormatUtc(0), "1970-01-01T00:00:00.000Z");
    for (const char* bad : {"", "2024-13-01", "2024-05-01T25:00", "yesterday", "2024-05-01Tx",
                            "2024-05-01T12:00+5"}) {
        EXPECT_FALSE(CTimeText::ParseUtc(bad, ms)) << bad;
    }
}

TEST(CsvWriter, QuotesAsRfc4180WithCrLfAndADot) {
    std::ostringstream out;
    CCsvWriter csv(out);
    csv.Field("plain").Field("a,b").Field("say \"hi\"").Field("two\nlines").EndRow();
    csv.Decimal(12.34, 1).Decimal(-0.04, 1).Int(-7).Empty().EndRow();
    EXPECT_EQ(out.str(), "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\"\r\n12.3,0.0,-7,\r\n");
}

TEST(RecordExport, CurveAndBatchCsvAsASpreadsheetReadsThem) {
    CCurveRecord curve;
    curve.m_strStation = "Press, A";
    curve.m_nNodeID = 3;
    curve.m_nTimeMs = 1714566896789;
    curve.m_nPeakForce = 2481;
    curve.m_pForce[1] = {1, 100};
    curve.m_pReference[1] = {1, 90};
    std::ostringstream out;
    CRecordExport::WriteCurveCsv(out, curve);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind("Station,\"Press, A\"\r\nNode,3\r\nTime,2024-05-01T12:34:56.789Z\r\n", 0),
              0u);
    EXPECT_NE(text.find("\r\nPeak,2481\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nRS1,\r\n"), std::string::npos); // not known for this curve
    EXPECT_NE(text.find("\r\nIndex,Force,Reference\r\n0,0,0\r\n1,100,90\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "499,0,0\r\n");

    CBatchRecord batch;
    batch.m_points = {{0, 2500}, {1, 2410}};
    batch.m_bHasStats = true;
    batch.m_stats.m_nGood = 90;
    batch.m_stats.m_nBad = 10;
    batch.m_stats.m_fCpk = 1.33f;
    out.str("");
    CRecordExport::WriteBatchCsv(out, batch);
    EXPECT_NE(out.str().find("Index,Value\r\n0,2500\r\n1,2410\r\nGood,90\r\nBad,10\r\nTotal,100\r\n"
                             "%Bad,10.0\r\n%Good,90.0\r\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("\r\nCpk,1.3\r\n"), std::string::npos);
}

} // namespace
