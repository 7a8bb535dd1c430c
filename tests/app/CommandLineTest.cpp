#include "app/shell/CommandLineInfo.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

CCommandLineInfo Parse(std::vector<const char*> args, bool expectOk = true) {
    args.insert(args.begin(), "quorvel");
    CCommandLineInfo info;
    EXPECT_EQ(info.Parse(static_cast<int>(args.size()), args.data()), expectOk) << info.m_strError;
    return info;
}

TEST(CommandLineTest, OptionsAndIgnoredFiles) {
    CCommandLineInfo none = Parse({});
    EXPECT_TRUE(none.m_bShowSplash);
    EXPECT_FALSE(none.m_bSimulate);
    EXPECT_FALSE(none.m_bPortGiven);

    CCommandLineInfo port = Parse({"--port", "/dev/ttyUSB0", "--no-splash", "curve.cur"});
    EXPECT_TRUE(port.m_bPortGiven);
    EXPECT_EQ(port.m_strPort, "/dev/ttyUSB0");
    EXPECT_FALSE(port.m_bShowSplash);
    EXPECT_EQ(port.m_ignoredFiles, std::vector<std::string>{"curve.cur"});

    CCommandLineInfo inlinePort = Parse({"--port=COM2"});
    EXPECT_EQ(inlinePort.m_strPort, "COM2");
    // An empty name is a name like any other: it fails to open later, with its message.
    CCommandLineInfo empty = Parse({"--port="});
    EXPECT_TRUE(empty.m_bPortGiven);
    EXPECT_EQ(empty.m_strPort, "");

    CCommandLineInfo sim = Parse({"--simulate", "--", "--port"});
    EXPECT_TRUE(sim.m_bSimulate);
    EXPECT_FALSE(sim.m_bPortGiven);
    EXPECT_EQ(sim.m_ignoredFiles, std::vector<std::string>{"--port"});
}

TEST(CommandLineTest, TheUserInterfaceLayersOptionsPassThrough) {
    CCommandLineInfo info = Parse({"-platform", "offscreen", "--style=fusion", "--reverse"});
    EXPECT_TRUE(info.m_ignoredFiles.empty());
    EXPECT_FALSE(info.m_bPortGiven);
}

TEST(CommandLineTest, MistakesAreReported) {
    EXPECT_NE(Parse({"--prot", "COM2"}, false).m_strError.find("--prot"), std::string::npos);
    EXPECT_FALSE(Parse({"--port"}, false).m_strError.empty());
    EXPECT_FALSE(Parse({"--simulate", "--port", "COM2"}, false).m_strError.empty());
    EXPECT_FALSE(Parse({"--no-splash=yes"}, false).m_strError.empty());
}

} // namespace
