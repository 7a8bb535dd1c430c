#include "records/StationFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes Text(const std::string& s) {
    Bytes b{static_cast<std::uint8_t>(s.size())};
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

// One station "Station 1", node 1, defaults, at (50, 50).
const Bytes kExampleStation = Concat({
    {0x01, 0, 0, 0},
    Text("Station 1"),
    {0x00},
    {0x00},
    {0, 0, 0, 0, 0, 0, 0, 0x40},
    {0, 0, 0, 0, 0, 0, 0, 0x40},
    {0, 0, 0, 0, 0, 0, 0xE0, 0x3F},
    {0x05, 0, 0, 0},
    {0x32, 0, 0, 0, 0x32, 0, 0, 0, 0x52, 0, 0, 0, 0x52, 0, 0, 0},
    {0, 0, 0, 0},
    {0x00},
});
const Bytes kNewClassTag{0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00, 'C', 'P', 'r', 'e', 's', 's'};

TEST(StationFile, TheExampleStationByteForByte) {
    PressList presses;
    presses.push_back(std::make_unique<CPress>("Station 1", CPoint{50, 50}, 1));
    Bytes expected = Concat({{0x01, 0, 0, 0}, kNewClassTag, kExampleStation});
    EXPECT_EQ(StationFile::Store(presses), expected);

    PressList loaded;
    EXPECT_TRUE(StationFile::Load(expected, loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]->GetName(), "Station 1");
    EXPECT_EQ(loaded[0]->GetRect(), (CRect{50, 50, 82, 82}));
    EXPECT_EQ(loaded[0]->GetTFactor(), 0.5);
    EXPECT_EQ(loaded[0]->GetTeachCycles(), 5);
    EXPECT_FALSE(loaded[0]->IsSelected());
}

TEST(StationFile, DefaultsAreTwelveStationsInTwoRowsAndRoundTrip) {
    PressList presses = StationFile::DefaultNetwork();
    ASSERT_EQ(presses.size(), 12u);
    const int nodes[12] = {1, 7, 2, 8, 3, 9, 4, 10, 5, 11, 6, 12};
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(presses[i]->GetNodeID(), nodes[i]);
        EXPECT_EQ(presses[i]->GetName(), "Station " + std::to_string(nodes[i]));
        EXPECT_EQ(presses[i]->GetPosition(),
                  (CPoint{50 + 64 * static_cast<int>(i / 2), i % 2 ? 155 : 50}));
        EXPECT_EQ(presses[i]->GetBLO(), 10);
    }
    presses[3]->SetSerialNo("SN-0042");
    presses[3]->SetWireType("0.35 mm\xC2\xB2"); // squared sign, in the code page
    presses[3]->SetRect({1, 2, 100, 3});        // kept as stored, even though not 32 x 32
    presses[3]->SetReserved(0xDEADBEEF);
    presses[3]->SetDFactor(2.3);

    Bytes bytes = StationFile::Store(presses);
    // The second and later stations carry only the class reference.
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 16), kNewClassTag);
    PressList loaded;
    ASSERT_TRUE(StationFile::Load(bytes, loaded));
    ASSERT_EQ(loaded.size(), 12u);
    EXPECT_EQ(loaded[3]->GetSerialNo(), "SN-0042");
    EXPECT_EQ(loaded[3]->GetWireType(), "0.35 mm\xC2\xB2");
    EXPECT_EQ(loaded[3]->GetRect(), (CRect{1, 2, 100, 3}));
    EXPECT_EQ(loaded[3]->GetReserved(), 0xDEADBEEFu);
    EXPECT_EQ(loaded[3]->GetDFactor(), 2.3);
    EXPECT_EQ(StationFile::Store(loaded), bytes);
}

TEST(StationFile, LongNamesUseTheLongerPrefix) {
    PressList presses;
    presses.push_back(std::make_unique<CPress>(std::string(254, 'a'), CPoint{0, 0}, 1));
    presses.push_back(std::make_unique<CPress>(std::string(255, 'b'), CPoint{0, 0}, 2));
    Bytes bytes = StationFile::Store(presses);
    std::size_t name1 = 4 + kNewClassTag.size() + 4;
    EXPECT_EQ(bytes[name1], 0xFE);
    std::size_t second = name1 + 1 + 254 + 1 + 1 + 24 + 4 + 16 + 4 + 1;
    EXPECT_EQ(Bytes(bytes.begin() + second, bytes.begin() + second + 2), (Bytes{0x01, 0x80}));
    EXPECT_EQ(Bytes(bytes.begin() + second + 6, bytes.begin() + second + 9),
              (Bytes{0xFF, 0xFF, 0x00}));
    PressList loaded;
    ASSERT_TRUE(StationFile::Load(bytes, loaded));
    EXPECT_EQ(loaded[1]->GetName(), std::string(255, 'b'));
}

TEST(StationFile, DamagedFilesKeepTheCompleteStations) {
    PressList three = StationFile::DefaultNetwork();
    three.resize(3);
    Bytes full = StationFile::Store(three);
    Bytes one = StationFile::Store(PressList{});
    EXPECT_EQ(one, (Bytes{0, 0, 0, 0}));

    PressList loaded;
    EXPECT_TRUE(StationFile::Load(one, loaded));
    EXPECT_TRUE(loaded.empty());
    EXPECT_FALSE(StationFile::Load(Bytes{}, loaded));
    EXPECT_TRUE(loaded.empty());

    // Count 3, but the file ends inside the third station.
    Bytes cut(full.begin(), full.end() - 5);
    EXPECT_FALSE(StationFile::Load(cut, loaded));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[1]->GetName(), "Station 7");

    // A foreign class name, a wrong schema and a null entry end reading at once.
    Bytes foreign = full;
    foreign[4 + 6] = 'X';
    loaded.clear();
    EXPECT_FALSE(StationFile::Load(foreign, loaded));
    EXPECT_TRUE(loaded.empty());
    Bytes schema = full;
    schema[4 + 2] = 2;
    EXPECT_FALSE(StationFile::Load(schema, loaded));
    EXPECT_TRUE(loaded.empty());
    Bytes nullEntry = Concat({{2, 0, 0, 0}, kNewClassTag, kExampleStation, {0, 0}});
    EXPECT_FALSE(StationFile::Load(nullEntry, loaded));
    EXPECT_EQ(loaded.size(), 1u);

    // A name that announces more bytes than the file holds.
    Bytes huge = Concat(
        {{1, 0, 0, 0}, kNewClassTag, {1, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}});
    loaded.clear();
    EXPECT_FALSE(StationFile::Load(huge, loaded));
    EXPECT_TRUE(loaded.empty());
}

TEST(StationFile, TextOutsideTheCodePageBecomesQuestionMarks) {
    PressList presses;
    presses.push_back(std::make_unique<CPress>("Presse \xC3\xBC \xE6\x97\xA5", CPoint{0, 0}, 1));
    PressList loaded;
    ASSERT_TRUE(StationFile::Load(StationFile::Store(presses), loaded));
    EXPECT_EQ(loaded[0]->GetName(), "Presse \xC3\xBC ?");
}

TEST(StationFile, WritingReplacesTheFileSafely) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(::testing::TempDir()) / ("stations-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string path = (dir / StationFile::kFileName).string();
    PressList presses = StationFile::DefaultNetwork();
    ASSERT_TRUE(StationFile::WriteFile(path, presses));
    PressList loaded;
    ASSERT_TRUE(StationFile::ReadFile(path, loaded));
    EXPECT_EQ(loaded.size(), 12u);

    // The folder cannot take the temporary file: the write fails and the old file stays whole.
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    presses.resize(1);
    bool wrote = StationFile::WriteFile(path, presses);
    fs::permissions(dir, fs::perms::owner_all);
    if (!wrote) { // as root the folder stays writable
        loaded.clear();
        ASSERT_TRUE(StationFile::ReadFile(path, loaded));
        EXPECT_EQ(loaded.size(), 12u);
    }
    loaded.clear();
    EXPECT_FALSE(StationFile::ReadFile((dir / "absent.vlm").string(), loaded));
    fs::remove_all(dir);
}

} // namespace
