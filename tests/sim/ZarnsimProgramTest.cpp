// The zarnsim program end to end: its device path, its link, its answers and its signals.

#include "network/ZarnPort.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A running zarnsim with its standard output on a pipe.
class CZarnsimProcess {
public:
    explicit CZarnsimProcess(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {ZARNSIM_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        m_bStarted = m_child.Start(argv);
    }
    // The first line of output, or empty if none came within the time.
    std::string FirstLine(int ms = 5000) {
        std::string line;
        return m_child.ReadLine(line, ms) ? line : std::string();
    }
    // Waits for the exit; its status, or -1 if it did not end in time.
    int Wait(int ms = 5000) { return m_child.Wait(ms); }
    void Signal(int sig) { m_child.Signal(sig); }
    bool Started() const { return m_bStarted; }

private:
    CChildProcess m_child;
    bool m_bStarted = false;
};

int RunToEnd(const std::vector<std::string>& args) {
    CZarnsimProcess p(args);
    return p.Started() ? p.Wait() : -1;
}

class ZarnsimProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::mkdtemp(m_dir), nullptr);
        m_link = std::string(m_dir) + "/line";
    }
    void TearDown() override {
        ::unlink(m_link.c_str());
        ::rmdir(m_dir);
    }
    char m_dir[32] = "/tmp/zarnsim-test-XXXXXX";
    std::string m_link;
};

} // namespace

TEST_F(ZarnsimProgram, AnswersOnItsLinkAndCleansUpOnSigterm) {
    ASSERT_EQ(::symlink("/nonexistent", m_link.c_str()), 0); // an old link is replaced
    CZarnsimProcess sim({"--nodes", "3,5-6", "--link", m_link, "--fault", "6:silent",
                         "--crimp-interval", "0", "--seed=3"});
    ASSERT_TRUE(sim.Started());
    const std::string path = sim.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(::readlink(m_link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);
    {
        CZarnPort port(m_link.c_str(), 57600, 0, 0);
        ASSERT_EQ(port.SetCommPort(), 1);
        EXPECT_EQ(port.RequestACK(3), 1);
        unsigned short blo = 0;
        EXPECT_EQ(port.GetBLO(5, &blo), 1);
        EXPECT_EQ(blo, 77);
        EXPECT_EQ(port.RequestACK(6), 0); // silent
        EXPECT_EQ(port.RequestACK(4), 0); // not on the line
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    struct stat st;
    EXPECT_NE(::lstat(m_link.c_str(), &st), 0);
}

TEST_F(ZarnsimProgram, StopsCleanlyOnSigintWhilePaced) {
    CZarnsimProcess sim({"--pace", "--nodes", "1"});
    ASSERT_FALSE(sim.FirstLine().empty());
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST_F(ZarnsimProgram, RefusesToReplaceARegularFile) {
    FILE* f = std::fopen(m_link.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("precious", f);
    std::fclose(f);
    const int status = RunToEnd({"--link", m_link});
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    struct stat st;
    ASSERT_EQ(::lstat(m_link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 8);
}

TEST_F(ZarnsimProgram, ServesTheLineOverTcpWithoutAPty) {
    CZarnsimProcess sim({"--nodes", "4", "--tcp", "0", "--no-pty", "--crimp-interval", "0"});
    ASSERT_TRUE(sim.Started());
    const std::string url = sim.FirstLine();
    ASSERT_EQ(url.rfind("socket://127.0.0.1:", 0), 0u) << url;
    {
        CZarnPort port(url.c_str(), 57600, 0, 0);
        ASSERT_EQ(port.SetCommPort(), 1);
        EXPECT_EQ(port.RequestACK(4), 1);
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST_F(ZarnsimProgram, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--nodes", "0"}, {"--nodes", "5-1"},
        {"--nodes"},      {"--fault", "3:bogus"},
        {"--fault", "3"}, {"--nodes", "1-3", "--fault", "9:slow"},
        {"--seed", "-1"}, {"--crimp-interval", "x"},
        {"--frobnicate"}, {"--pace=yes"},
        {"--no-pty"},     {"--tcp"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(RunToEnd(args), 2) << args.front();
    }
    EXPECT_EQ(RunToEnd({"--help"}), 0);
    EXPECT_EQ(RunToEnd({"--tcp", "fd00::1:80"}), 2); // IPv6 needs its brackets
}
