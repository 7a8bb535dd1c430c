#include "app/framework/RecentFileList.h"
#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(RecentFileListTest, NewestFirstFourAtMostNoDuplicates) {
    CRecentFileList list(4);
    for (const char* p : {"/a", "/b", "/c", "/d", "/e"}) {
        list.Add(p);
    }
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list[0], "/e");
    EXPECT_EQ(list[3], "/b");
    list.Add("/c"); // moves up, nothing drops off
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list[0], "/c");
    EXPECT_EQ(list[1], "/e");
    EXPECT_EQ(list[2], "/d");
    list.Remove(1);
    list.Remove(9); // out of range: nothing
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list[1], "/d");
    list.Add("");
    EXPECT_EQ(list.GetCount(), 3);
}

TEST(RecentFileListTest, MenuTextsAreNumberedShortAndEscaped) {
    CRecentFileList list(4);
    list.Add("/data/other/R&D curve.cur");
    list.Add("/work/shop/batch.buf");
    EXPECT_EQ(list.GetMenuText(0, "/work/shop"), "&1 batch.buf");
    EXPECT_EQ(list.GetMenuText(1, "/work/shop"), "&2 /data/other/R&&D curve.cur");
    list.Add("/very/long/folder/name/that/goes/on/and/on/and/on/for/ever/curve-file.cur");
    std::string text = list.GetMenuText(0, "/", 30);
    EXPECT_EQ(text.substr(0, 3), "&1 ");
    EXPECT_LE(text.size(), 33u);
    EXPECT_NE(text.find("..."), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "curve-file.cur");
}

TEST(RecentFileListTest, ListRoundTripsThroughTheSettings) {
    CTempConfig config;
    CSettingsStore store("Velmora", "Quorvel");
    const std::string key = "Software\\Test\\Recent File List";
    CRecentFileList list(4);
    for (const char* p : {"/1", "/2", "/3", "/4"}) {
        list.Add(p);
    }
    ASSERT_TRUE(list.WriteList(store, HKEY_CURRENT_USER, key));
    list.Remove(0);
    list.Remove(0);
    ASSERT_TRUE(list.WriteList(store, HKEY_CURRENT_USER, key));
    // Entries that went are gone from the store too.
    std::string stale;
    EXPECT_FALSE(store.ReadString(HKEY_CURRENT_USER, key, "File3", stale));
    CRecentFileList read(4);
    read.ReadList(store, HKEY_CURRENT_USER, key);
    ASSERT_EQ(read.GetCount(), 2);
    EXPECT_EQ(read[0], "/2");
    EXPECT_EQ(read[1], "/1");
    // A shorter list reads only its own number of entries.
    CRecentFileList one(1);
    one.ReadList(store, HKEY_CURRENT_USER, key);
    EXPECT_EQ(one.GetCount(), 1);
}

} // namespace
