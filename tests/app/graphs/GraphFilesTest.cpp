#include "app/framework/MessageRecorder.h"
#include "app/framework/StringTable.h"
#include "app/graphs/BatchDoc.h"
#include "app/graphs/CurveDoc.h"
#include "app/network/QuorvelDoc.h"
#include "base/Archive.h"
#include "records/Press.h"
#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::vector<std::uint8_t> Store(CDocument& doc) {
    std::vector<std::uint8_t> bytes;
    CArchive ar(&bytes);
    doc.Serialize(ar);
    return bytes;
}

void Load(CDocument& doc, const std::vector<std::uint8_t>& bytes) {
    CArchive ar(bytes);
    doc.Serialize(ar);
}

std::int32_t Int32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class GraphFiles : public ::testing::Test {
protected:
    std::string Path(const std::string& name) { return m_config.WorkDir() + "/" + name; }
    CTempConfig m_config;
    CMessageRecorder m_messages;
};

TEST_F(GraphFiles, CurveFileLayoutAndRoundTrip) {
    CCurveDoc doc;
    doc.SetTitle("Downloaded Curve - 1"); // 20 characters
    doc.m_strStation = "Press Ä8";        // 8 characters in the 8-bit code page
    doc.m_nNodeID = 7;
    for (int i = 0; i < CCurveDoc::kDownloadedPoints; ++i) {
        doc.m_pForce[i] = {i, 1000 + i};
        doc.m_pReference[i] = {i, 4095 - i};
    }
    const int zones[5] = {100, 175, 250, 330, -20};
    std::copy(std::begin(zones), std::end(zones), doc.m_nZoneInfo);
    doc.m_nPeakForce = 2481;
    doc.m_nResultS[0] = -3;
    doc.m_nPassCount = 9;

    const std::vector<std::uint8_t> bytes = Store(doc);
    ASSERT_EQ(bytes.size(), 8074u);
    EXPECT_EQ(bytes[0], 20);
    EXPECT_EQ(doc.m_strSavedTitle, "Downloaded Curve - 1");
    // Force point i, then reference point i.
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3), 3);
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3 + 4), 1003);
    EXPECT_EQ(Int32At(bytes, 21 + 16 * 3 + 12), 4092);
    // The 501st points were never filled: (0, 0).
    for (std::size_t at = 21 + 16 * 500; at < 21 + 16 * 501; ++at) {
        EXPECT_EQ(bytes[at], 0) << at;
    }
    EXPECT_EQ(Int32At(bytes, 8037), 7);
    EXPECT_EQ(bytes[8041], 8);
    EXPECT_EQ(bytes[8042 + 6], 0xC4); // Ä in the code page
    EXPECT_EQ(Int32At(bytes, 8050 + 16), -20);
    EXPECT_EQ(Int32At(bytes, 8070), 2481);

    CCurveDoc copy;
    Load(copy, bytes);
    EXPECT_EQ(copy.m_strSavedTitle, "Downloaded Curve - 1");
    EXPECT_EQ(copy.m_strStation, "Press Ä8");
    EXPECT_EQ(copy.m_nZoneInfo[4], -20);
    // Results and counts are not in the file.
    EXPECT_EQ(copy.m_nResultS[0], 0);
    EXPECT_EQ(copy.m_nPassCount, 0u);
    copy.SetTitle(copy.m_strSavedTitle);
    EXPECT_EQ(Store(copy), bytes);
}

TEST_F(GraphFiles, CurveTitlePrefixes) {
    CCurveDoc doc;
    doc.SetTitle(std::string(255, 'T'));
    std::vector<std::uint8_t> bytes = Store(doc);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x00);
    doc.SetTitle("");
    bytes = Store(doc);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes.size(), 1u + 8016 + 4 + 1 + 20 + 4);
}

TEST_F(GraphFiles, CurveFilesOpenForGoodAndDamagedOnesAreRefused) {
    CCurveDoc doc;
    doc.SetTitle("Saved title");
    doc.m_nZoneInfo[0] = 42;
    const std::vector<std::uint8_t> bytes = Store(doc);
    WriteFile(Path("good.cur"), bytes);

    CCurveDoc opened;
    ASSERT_TRUE(opened.OnOpenDocument(Path("good.cur")));
    EXPECT_TRUE(opened.m_bHasData);
    EXPECT_FALSE(opened.m_bCanReload);
    EXPECT_EQ(opened.GetTitle(), "Saved title");
    EXPECT_EQ(opened.m_nZoneInfo[0], 42);
    opened.Reload(CLineJob{}); // does nothing: no port is even asked for
    EXPECT_EQ(opened.GetTitle(), "Saved title");
    EXPECT_EQ(m_messages.Count(), 0u);

    const std::vector<std::vector<std::uint8_t>> damaged = {
        {},
        std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1),
        std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4000),
        [&] {
            auto longer = bytes;
            longer.push_back(0);
            return longer;
        }(),
        [&] {
            auto badTitle = bytes;
            badTitle[0] = 200; // a title longer than the file
            return badTitle;
        }(),
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        WriteFile(Path("bad.cur"), damaged[i]);
        m_messages.Clear();
        CCurveDoc bad;
        EXPECT_FALSE(bad.OnOpenDocument(Path("bad.cur"))) << i;
        EXPECT_FALSE(bad.m_bHasData) << i;
        ASSERT_EQ(m_messages.Count(), 1u) << i;
        EXPECT_EQ(m_messages.Messages()[0].strText, "Unexpected file format.");
    }
}

TEST_F(GraphFiles, BatchFileLayoutAndRoundTrip) {
    CBatchDoc doc;
    doc.SetTitle("Batch Buffer  - Press A (Node - 7) (now)");
    const std::size_t t = doc.GetTitle().size();
    doc.m_nCount = 3;
    doc.m_pPoints[0] = {0, 2500};
    doc.m_pPoints[1] = {1, 2410};
    doc.m_pPoints[2] = {2, 2600};
    doc.m_stats.m_nMax = 2600;
    doc.m_stats.m_nBatchMax = 2600;
    doc.m_stats.m_fMean = 2503.3f;

    const std::vector<std::uint8_t> bytes = Store(doc);
    ASSERT_EQ(bytes.size(), 1 + t + 2 + 4 + 2 + 24);
    const std::vector<std::uint8_t> head(bytes.begin() + 1 + t, bytes.begin() + 1 + t + 8);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0x03, 0x00, 0, 0, 0, 0, 0x28, 0x0A}));
    EXPECT_EQ(Int32At(bytes, 1 + t + 8 + 8 + 4), 2410);

    CBatchDoc copy;
    Load(copy, bytes);
    EXPECT_EQ(copy.m_nCount, 3);
    EXPECT_EQ(copy.m_pPoints[2].y, 2600);
    // Of the statistics only the maximum travels.
    EXPECT_EQ(copy.m_stats.m_nMax, 2600);
    EXPECT_EQ(copy.m_stats.m_nBatchMax, 0);
    EXPECT_EQ(copy.m_stats.m_fMean, 0.0f);
    copy.SetTitle(copy.m_strSavedTitle);
    EXPECT_EQ(Store(copy), bytes);
}

TEST_F(GraphFiles, BatchFilesOpenForGoodAndDamagedOnesAreRefused) {
    CBatchDoc doc;
    doc.SetTitle("Empty");
    doc.m_nLimitLine = 1500;
    std::vector<std::uint8_t> bytes = Store(doc);
    WriteFile(Path("empty.buf"), bytes);
    CBatchDoc empty;
    ASSERT_TRUE(empty.OnOpenDocument(Path("empty.buf")));
    EXPECT_TRUE(empty.m_bHasData);
    EXPECT_FALSE(empty.m_bCanReload);
    EXPECT_EQ(empty.m_nCount, 0);
    EXPECT_EQ(empty.m_nLimitLine, 1500);
    EXPECT_EQ(empty.GetTitle(), "Empty");

    // A file's vertical range: its largest entry or its maximum, whichever is higher.
    doc.m_nCount = 2;
    doc.m_pPoints[0] = {0, 900};
    doc.m_pPoints[1] = {1, 1100};
    doc.m_stats.m_nMax = 1000;
    WriteFile(Path("two.buf"), Store(doc));
    CBatchDoc two;
    ASSERT_TRUE(two.OnOpenDocument(Path("two.buf")));
    EXPECT_EQ(two.GetFullRangeY(), 1100);

    bytes = Store(doc);
    std::vector<std::uint8_t> tooMany = {0, 0xE9, 0x03, 0, 0, 0, 0, 0, 0}; // 1001 entries
    tooMany.resize(tooMany.size() + 1001 * 8);
    const std::vector<std::vector<std::uint8_t>> damaged = {
        std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 3),
        std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 7),
        [&] {
            auto longer = bytes;
            longer.insert(longer.end(), 8, 0);
            return longer;
        }(),
        tooMany,
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        WriteFile(Path("bad.buf"), damaged[i]);
        m_messages.Clear();
        CBatchDoc bad;
        EXPECT_FALSE(bad.OnOpenDocument(Path("bad.buf"))) << i;
        EXPECT_EQ(bad.m_nCount, 0) << i;
        ASSERT_EQ(m_messages.Count(), 1u) << i;
        EXPECT_EQ(m_messages.Messages()[0].strText, "Unexpected file format.");
    }
}

TEST_F(GraphFiles, ADeletedStationLeavesItsNameAndNodeWithTheBatch) {
    CQuorvelDoc::SetFileName(Path("pressinfo.vlm"));
    {
        CQuorvelDoc network;
        CPress* press = network.FindPress(7);
        CPress* other = network.FindPress(1);
        CBatchDoc batch;
        CBatchDoc unrelated;
        batch.m_pPress = press;
        unrelated.m_pPress = other;
        press->SetName("Press A");
        network.RemovePress(press);
        EXPECT_EQ(batch.m_pPress, nullptr);
        EXPECT_EQ(batch.GetStationName(), "Press A");
        EXPECT_EQ(batch.GetNodeID(), 7);
        EXPECT_EQ(unrelated.m_pPress, other);
    }
    // A batch document that outlives the layout keeps its station's name the same way.
    auto* late = new CBatchDoc;
    {
        CQuorvelDoc network;
        late->m_pPress = network.FindPress(2);
    }
    EXPECT_EQ(late->m_pPress, nullptr);
    EXPECT_EQ(late->GetStationName(), "Station 2");
    EXPECT_EQ(late->GetNodeID(), 2);
    delete late;
    CQuorvelDoc::SetFileName("pressinfo.vlm");
}

} // namespace
