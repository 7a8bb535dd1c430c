#include "app/framework/SettingsStore.h"
#include "base/FileIO.h"
#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string ReadText(const std::string& path) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data)) {
        return {};
    }
    return std::string(data.begin(), data.end());
}

void WriteText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(WriteFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end())));
}

class SettingsStoreTest : public ::testing::Test {
protected:
    CTempConfig m_config;
    CSettingsStore m_store{"Velmora", "Quorvel"};
};

TEST_F(SettingsStoreTest, FolderFollowsXdgAndFallsBackToHomeConfig) {
    EXPECT_EQ(m_store.GetFolder(), m_config.ProgramFolder());
    EXPECT_EQ(m_store.GetFilePath(HKEY_LOCAL_MACHINE),
              m_config.ProgramFolder() + "/HKEY_LOCAL_MACHINE.ini");
    std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    if (!home.empty()) {
        EXPECT_EQ(m_store.GetFolder(), home + "/.config/Velmora/Quorvel");
    }
    // A relative setting is not a valid base folder and is ignored.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    if (!home.empty()) {
        EXPECT_EQ(m_store.GetFolder(), home + "/.config/Velmora/Quorvel");
    }
    setenv("XDG_CONFIG_HOME", m_config.ConfigHome().c_str(), 1);
}

TEST_F(SettingsStoreTest, ValuesKeepTheirTypesAndLandInTheHiveFile) {
    EXPECT_TRUE(m_store.WriteString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings",
                                    "Port", "COM3"));
    EXPECT_TRUE(m_store.WriteDword(HKEY_CURRENT_USER, "Software\\Velmora\\Quorvel\\MainWindow",
                                   "Width", 0xFFFFFF00u));
    std::string text;
    std::uint32_t number = 7;
    EXPECT_TRUE(m_store.ReadString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings",
                                   "Port", text));
    EXPECT_EQ(text, "COM3");
    EXPECT_TRUE(m_store.ReadDword(HKEY_CURRENT_USER, "Software\\Velmora\\Quorvel\\MainWindow",
                                  "Width", number));
    EXPECT_EQ(number, 0xFFFFFF00u);

    // Each hive is its own file; a value is not found in the other hive.
    EXPECT_FALSE(m_store.ReadString(HKEY_CURRENT_USER, "Software\\Velmora\\Quorvel\\Settings",
                                    "Port", text));
    EXPECT_NE(ReadText(m_store.GetFilePath(HKEY_LOCAL_MACHINE)).find("Port=\"COM3\""),
              std::string::npos);
    EXPECT_NE(ReadText(m_store.GetFilePath(HKEY_CURRENT_USER)).find("Width=dword:ffffff00"),
              std::string::npos);

    // The wrong type reads as missing and leaves the caller's variable alone.
    text = "kept";
    number = 42;
    EXPECT_FALSE(m_store.ReadString(HKEY_CURRENT_USER, "Software\\Velmora\\Quorvel\\MainWindow",
                                    "Width", text));
    EXPECT_EQ(text, "kept");
    EXPECT_FALSE(m_store.ReadDword(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings",
                                   "Port", number));
    EXPECT_EQ(number, 42u);
}

TEST_F(SettingsStoreTest, KeysAndValueNamesIgnoreLetterCase) {
    ASSERT_TRUE(m_store.WriteString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings",
                                    "Image", "/floor/plan.bmp"));
    std::string text;
    EXPECT_TRUE(m_store.ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\velmora\\QUORVEL\\settings",
                                   "IMAGE", text));
    EXPECT_EQ(text, "/floor/plan.bmp");
    // Writing under another spelling replaces the value rather than adding a second one.
    ASSERT_TRUE(m_store.WriteString(HKEY_LOCAL_MACHINE, "software\\velmora\\quorvel\\settings",
                                    "image", "/other.bmp"));
    EXPECT_EQ(
        m_store.GetValueNames(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings").size(),
        1u);
    EXPECT_TRUE(m_store.ReadString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Settings",
                                   "Image", text));
    EXPECT_EQ(text, "/other.bmp");
}

TEST_F(SettingsStoreTest, TextsWithAwkwardCharactersRoundTrip) {
    const std::string awkward = "a \"quoted\" path\\with\nline=breaks;and #marks [x]";
    ASSERT_TRUE(m_store.WriteString(HKEY_CURRENT_USER, "K", "name = odd", awkward));
    ASSERT_TRUE(m_store.WriteString(HKEY_CURRENT_USER, "K", "empty", ""));
    std::string text;
    EXPECT_TRUE(m_store.ReadString(HKEY_CURRENT_USER, "K", "name = odd", text));
    EXPECT_EQ(text, awkward);
    EXPECT_TRUE(m_store.ReadString(HKEY_CURRENT_USER, "K", "empty", text));
    EXPECT_EQ(text, "");
    // The stored form parses back to the same keys.
    auto keys = CSettingsStore::Parse(ReadText(m_store.GetFilePath(HKEY_CURRENT_USER)));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].values.size(), 2u);
}

TEST_F(SettingsStoreTest, DamagedLinesAreSkippedAndTheRestKept) {
    m_store.CreateKey(HKEY_CURRENT_USER, "Probe"); // makes the folder
    WriteText(m_store.GetFilePath(HKEY_CURRENT_USER), "; comment\n"
                                                      "orphan=\"no section\"\n"
                                                      "[Software\\Velmora\\Quorvel\\MainWindow]\n"
                                                      "XPos=dword:00000032\n"
                                                      "YPos=dword:zz\n"
                                                      "Width=dword:123456789\n"
                                                      "Height=12\n"
                                                      "Broken=\"unterminated\n"
                                                      "[Damaged\n"
                                                      "Lost=dword:00000001\n"
                                                      "[Software\\Velmora\\Quorvel\\MainWindow]\n"
                                                      "Height=dword:000000c8\n");
    std::uint32_t value = 0;
    const char* key = "Software\\Velmora\\Quorvel\\MainWindow";
    EXPECT_TRUE(m_store.ReadDword(HKEY_CURRENT_USER, key, "XPos", value));
    EXPECT_EQ(value, 50u);
    EXPECT_TRUE(m_store.ReadDword(HKEY_CURRENT_USER, key, "Height", value));
    EXPECT_EQ(value, 200u);
    value = 9;
    for (const char* bad : {"YPos", "Width", "Broken", "Lost"}) {
        EXPECT_FALSE(m_store.ReadDword(HKEY_CURRENT_USER, key, bad, value)) << bad;
    }
    EXPECT_EQ(value, 9u);
    // A write rewrites the file cleanly, keeping the good values.
    ASSERT_TRUE(m_store.WriteDword(HKEY_CURRENT_USER, key, "YPos", 7));
    auto keys = CSettingsStore::Parse(ReadText(m_store.GetFilePath(HKEY_CURRENT_USER)));
    ASSERT_GE(keys.size(), 1u);
    EXPECT_TRUE(m_store.ReadDword(HKEY_CURRENT_USER, key, "XPos", value));
    EXPECT_EQ(value, 50u);
}

TEST_F(SettingsStoreTest, AnUnwritableFolderFailsTheWrite) {
    // A file where the vendor folder should be: nothing can be created below it.
    std::string blocker = m_config.ConfigHome() + "/Velmora";
    WriteText(blocker, "not a folder");
    EXPECT_FALSE(m_store.WriteString(HKEY_LOCAL_MACHINE, "K", "V", "x"));
    EXPECT_FALSE(m_store.CreateKey(HKEY_LOCAL_MACHINE, "K"));
    std::string text = "kept";
    EXPECT_FALSE(m_store.ReadString(HKEY_LOCAL_MACHINE, "K", "V", text));
    EXPECT_EQ(text, "kept");
}

TEST_F(SettingsStoreTest, DeleteValueRemovesOnlyThatValue) {
    ASSERT_TRUE(m_store.WriteDword(HKEY_CURRENT_USER, "K", "A", 1));
    ASSERT_TRUE(m_store.WriteDword(HKEY_CURRENT_USER, "K", "B", 2));
    EXPECT_TRUE(m_store.DeleteValue(HKEY_CURRENT_USER, "K", "a"));
    EXPECT_FALSE(m_store.DeleteValue(HKEY_CURRENT_USER, "K", "A"));
    std::uint32_t v = 0;
    EXPECT_FALSE(m_store.ReadDword(HKEY_CURRENT_USER, "K", "A", v));
    EXPECT_TRUE(m_store.ReadDword(HKEY_CURRENT_USER, "K", "B", v));
    EXPECT_EQ(v, 2u);
}

} // namespace
