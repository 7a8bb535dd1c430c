#include "app/shell/Registry.h"
#include "app/shell/WindowPlacement.h"
#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    CTempConfig m_config;
};

TEST_F(RegistryTest, ReadsLeaveTheCallersValueWhenNothingIsRead) {
    std::string port = "previous";
    EXPECT_FALSE(ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", port));
    EXPECT_EQ(port, "previous");
    DWORD dw = 17;
    EXPECT_FALSE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", &dw));
    EXPECT_EQ(dw, 17u);
    EXPECT_FALSE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", nullptr));

    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", 120));
    EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", &dw));
    EXPECT_EQ(dw, 120u);
    dw = 5;
    EXPECT_FALSE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "YPos", &dw));
    EXPECT_EQ(dw, 5u);
}

TEST_F(RegistryTest, AnEmptyStringWritesNothingButSucceeds) {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", "COM4"));
    EXPECT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", ""));
    std::string port;
    EXPECT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Port", port));
    EXPECT_EQ(port, "COM4");
    // The key exists after an empty write even when nothing was there.
    EXPECT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Other", "X", ""));
    EXPECT_TRUE(
        ProgramSettings().KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Other"));
    EXPECT_TRUE(ProgramSettings()
                    .GetValueNames(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Quorvel\\Other")
                    .empty());
}

TEST_F(RegistryTest, MainWindowPlacementRules) {
    CREATESTRUCT untouched;
    CWindowPlacement::ReadMainWindow(untouched);
    EXPECT_EQ(untouched.x, CW_USEDEFAULT);
    EXPECT_EQ(untouched.cx, CW_USEDEFAULT);

    // "XPos" alone: (XPos, 0), 50 x 50.
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "XPos", 300);
    CREATESTRUCT onlyX;
    CWindowPlacement::ReadMainWindow(onlyX);
    EXPECT_EQ(onlyX.x, 300);
    EXPECT_EQ(onlyX.y, 0);
    EXPECT_EQ(onlyX.cx, 50);
    EXPECT_EQ(onlyX.cy, 50);

    // Small sizes are raised to 50; a negative size is a huge unsigned number and is kept.
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "YPos", static_cast<DWORD>(-20));
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Width", 10);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Height", 20);
    CREATESTRUCT small;
    CWindowPlacement::ReadMainWindow(small);
    EXPECT_EQ(small.y, -20);
    EXPECT_EQ(small.cx, 50);
    EXPECT_EQ(small.cy, 50);
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Width", static_cast<DWORD>(-256));
    WriteRegDword(HKEY_CURRENT_USER, REG_KEY_MAIN_WINDOW, "Height", 49);
    CREATESTRUCT negative;
    CWindowPlacement::ReadMainWindow(negative);
    EXPECT_EQ(negative.cx, -256);
    EXPECT_EQ(negative.cy, 50);
    // Exactly 50 and larger stay.
    DWORD x = 1, y = 2, w = 50, h = 51;
    CREATESTRUCT exact;
    CWindowPlacement::Apply(&x, &y, &w, &h, exact);
    EXPECT_EQ(exact.cx, 50);
    EXPECT_EQ(exact.cy, 51);
}

TEST_F(RegistryTest, PlacementIsWrittenAsFourNumbers) {
    CWindowPlacement::Write(REG_KEY_NETWORK_VIEW, QRect(-8, 12, 500, 300));
    DWORD v = 0;
    ASSERT_TRUE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_NETWORK_VIEW, "XPos", &v));
    EXPECT_EQ(static_cast<int>(v), -8);
    ASSERT_TRUE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_NETWORK_VIEW, "YPos", &v));
    EXPECT_EQ(v, 12u);
    ASSERT_TRUE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_NETWORK_VIEW, "Width", &v));
    EXPECT_EQ(v, 500u);
    ASSERT_TRUE(ReadRegDword(HKEY_CURRENT_USER, REG_KEY_NETWORK_VIEW, "Height", &v));
    EXPECT_EQ(v, 300u);
}

} // namespace
