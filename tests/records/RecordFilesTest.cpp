// The .cur and .buf layouts as the program has always written them, byte for byte.

#include "records/BatchFile.h"
#include "records/CurveFile.h"

#include <gtest/gtest.h>

namespace {

std::int32_t Int32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     static_cast<std::uint32_t>(b[at + 3]) << 24);
}

CCurveRecord SampleCurve() {
    CCurveRecord curve;
    curve.m_strTitle = "Downloaded Curve - 1"; // 20 characters
    curve.m_strStation = "Press Ä8";           // 8 characters in the 8-bit code page
    curve.m_nNodeID = 7;
    for (int i = 0; i < CCurveRecord::kDownloadedPoints; ++i) {
        curve.m_pForce[static_cast<std::size_t>(i)] = {i, 1000 + i};
        curve.m_pReference[static_cast<std::size_t>(i)] = {i, 4095 - i};
    }
    const int zones[5] = {100, 175, 250, 330, -20};
    std::copy(std::begin(zones), std::end(zones), curve.m_nZoneInfo);
    curve.m_nPeakForce = 2481;
    curve.m_bHasResults = true;
    curve.m_nResultS[0] = -3;
    curve.m_nPassCount = 9;
    return curve;
}

TEST(CurveFile, LayoutOfTheProgramAndRoundTrip) {
    const std::vector<std::uint8_t> bytes = CCurveFile::ToBytes(SampleCurve());
    ASSERT_EQ(bytes.size(), 8074u);
    EXPECT_EQ(bytes[0], 20);
    // Force point i, then reference point i; the 501st points are (0, 0).
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3), 3);
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3 + 4), 1003);
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3 + 12), 4092);
    for (std::size_t at = 21 + 16 * 500; at < 21 + 16 * 501; ++at) {
        EXPECT_EQ(bytes[at], 0) << at;
    }
    EXPECT_EQ(Int32At(bytes, 8037), 7);
    EXPECT_EQ(bytes[8041], 8);
    EXPECT_EQ(bytes[8042 + 6], 0xC4); // Ä in the code page
    EXPECT_EQ(Int32At(bytes, 8050 + 16), -20);
    EXPECT_EQ(Int32At(bytes, 8070), 2481);

    CCurveRecord copy;
    std::string reason;
    ASSERT_TRUE(CCurveFile::FromBytes(bytes, copy, &reason)) << reason;
    EXPECT_EQ(copy.m_strStation, "Press Ä8");
    EXPECT_EQ(copy.m_nZoneInfo[4], -20);
    EXPECT_FALSE(copy.m_bHasResults); // results and counts are not in the file
    EXPECT_EQ(copy.m_nResultS[0], 0);
    EXPECT_EQ(CCurveFile::ToBytes(copy), bytes);

    CCurveRecord longTitle;
    longTitle.m_strTitle = std::string(255, 'T');
    const std::vector<std::uint8_t> prefixed = CCurveFile::ToBytes(longTitle);
    EXPECT_EQ(std::vector<std::uint8_t>(prefixed.begin(), prefixed.begin() + 3),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0x00}));
}

TEST(CurveFile, DamagedBytesAreRefusedAndLeaveTheRecordAlone) {
    const std::vector<std::uint8_t> bytes = CCurveFile::ToBytes(SampleCurve());
    std::vector<std::vector<std::uint8_t>> damaged = {
        {},
        std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1),
        std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4000),
        bytes,
        bytes,
    };
    damaged[3].push_back(0); // data after the curve
    damaged[4][0] = 200;     // a title longer than the file
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        CCurveRecord record;
        record.m_strTitle = "kept";
        std::string reason;
        EXPECT_FALSE(CCurveFile::FromBytes(damaged[i], record, &reason)) << i;
        EXPECT_NE(reason.find("not a curve file"), std::string::npos) << reason;
        EXPECT_EQ(record.m_strTitle, "kept") << i;
    }
}

TEST(BatchFile, LayoutOfTheProgramRoundTripAndDamage) {
    CBatchRecord batch;
    batch.m_strTitle = "Batch Buffer  - Press A (Node - 7) (now)";
    const std::size_t t = batch.m_strTitle.size();
    batch.m_points = {{0, 2500}, {1, 2410}, {2, 2600}};
    batch.m_stats.m_nMax = 2600;
    batch.m_stats.m_fMean = 2503.3f;
    const std::vector<std::uint8_t> bytes = CBatchFile::ToBytes(batch);
    ASSERT_EQ(bytes.size(), 1 + t + 2 + 4 + 2 + 24);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 1 + static_cast<std::ptrdiff_t>(t),
                                        bytes.begin() + 9 + static_cast<std::ptrdiff_t>(t)),
              (std::vector<std::uint8_t>{0x03, 0x00, 0, 0, 0, 0, 0x28, 0x0A}));
    EXPECT_EQ(Int32At(bytes, 1 + t + 8 + 8 + 4), 2410);

    CBatchRecord copy;
    std::string reason;
    ASSERT_TRUE(CBatchFile::FromBytes(bytes, copy, &reason)) << reason;
    ASSERT_EQ(copy.m_points.size(), 3u);
    EXPECT_EQ(copy.m_points[2].y, 2600);
    EXPECT_EQ(copy.m_stats.m_nMax, 2600);
    EXPECT_EQ(copy.m_stats.m_fMean, 0.0f); // only the maximum travels
    EXPECT_EQ(CBatchFile::ToBytes(copy), bytes);

    std::vector<std::uint8_t> tooMany = {0, 0xE9, 0x03, 0, 0, 0, 0, 0, 0}; // 1001 entries
    tooMany.resize(tooMany.size() + 1001 * 8);
    std::vector<std::uint8_t> longer = bytes;
    longer.insert(longer.end(), 8, 0);
    for (const auto& bad :
         {std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 3),
          std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 7), longer, tooMany}) {
        EXPECT_FALSE(CBatchFile::FromBytes(bad, copy, &reason));
        EXPECT_NE(reason.find("not a batch file"), std::string::npos) << reason;
    }
    // A batch the file cannot hold is refused whole, not cut.
    batch.m_points.resize(CBatchRecord::kCapacity + 1);
    EXPECT_FALSE(CBatchFile::WriteFile("/nonexistent-dir/x.buf", batch, &reason));
    EXPECT_NE(reason.find("more entries"), std::string::npos) << reason;
}

} // namespace
