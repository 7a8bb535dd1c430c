#include "base/FileIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FileIO : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("fileio-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    void Touch(const std::string& name) const { std::ofstream(m_dir / name) << "x"; }
};

mode_t CurrentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

TEST_F(FileIO, WritesReplaceWholeAndLeaveNoTemporaries) {
    std::string path = (m_dir / "f.vlm").string();
    ASSERT_TRUE(WriteFileAtomically(path, {1, 2, 3, 4}));
    ASSERT_TRUE(WriteFileAtomically(path, {9}));
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(ReadWholeFile(path, data));
    EXPECT_EQ(data, std::vector<std::uint8_t>{9});
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(FileIO, AFailedWriteKeepsTheOldFile) {
    // The target is a folder: the rename must fail and the folder stay untouched.
    fs::path target = m_dir / "taken";
    fs::create_directory(target);
    std::ofstream(target / "inside") << "keep";
    EXPECT_FALSE(WriteFileAtomically(target.string(), {1, 2, 3}));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(fs::exists(target / "inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);

    EXPECT_FALSE(WriteFileAtomically((m_dir / "no" / "such" / "dir").string(), {1}));
}

TEST_F(FileIO, NewFilesGetOrdinaryPermissionsAndReplacedOnesKeepTheirs) {
    const mode_t mask = CurrentUmask();
    const std::string path = (m_dir / "new.vlm").string();
    ASSERT_TRUE(WriteFileAtomically(path, {1}));
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0666 & ~mask));
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    ASSERT_TRUE(WriteFileAtomically(path, {2}));
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0604));
    EXPECT_EQ(CurrentUmask(), mask);
}

TEST_F(FileIO, OnlyUnheldLeftoversOfOurOwnPatternAreRemoved) {
    EXPECT_TRUE(IsTemporaryFileName("pressinfo.vlm.tmp~aZ09xY"));
    for (const char* name : {"pressinfo.vlm.backup", "pressinfo.vlm.Ab3xYz", ".tmp~aZ09xY",
                             "a.tmp~aZ09x", "a.tmp~aZ09xY.cur", "a.tmp~aZ-9xY", "a.tmp-aZ09xY"}) {
        EXPECT_FALSE(IsTemporaryFileName(name)) << name;
    }
    Touch("pressinfo.vlm.tmp~Stale1");
    Touch("statswnd.vlm.tmp~Held01");
    Touch("pressinfo.vlm.backup");
    Touch("pressinfo.vlm.Ab3xYz");
    fs::create_directory(m_dir / "folder.tmp~Dir001");
    fs::create_symlink(m_dir / "pressinfo.vlm.backup", m_dir / "link.tmp~Link01");
    // A writer still at work holds its lock.
    const int held = ::open((m_dir / "statswnd.vlm.tmp~Held01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(RemoveStaleTemporaryFiles(m_dir.string()), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder.tmp~Dir001", "link.tmp~Link01",
                                                 "pressinfo.vlm.Ab3xYz", "pressinfo.vlm.backup",
                                                 "statswnd.vlm.tmp~Held01"}));
    ::close(held);
    EXPECT_EQ(RemoveStaleTemporaryFiles(m_dir.string()), 1);
    EXPECT_FALSE(fs::exists(m_dir / "statswnd.vlm.tmp~Held01"));
    EXPECT_EQ(RemoveStaleTemporaryFiles((m_dir / "absent").string()), 0);
}

TEST_F(FileIO, EarlierLeftoversAreRemovedOnlyBesideTheGivenNames) {
    const std::vector<std::string> own = {"pressinfo.vlm", "HKEY_CURRENT_USER.ini"};
    EXPECT_TRUE(IsEarlierTemporaryFileName("pressinfo.vlm.Ab3xYz", own));
    EXPECT_TRUE(IsEarlierTemporaryFileName("HKEY_CURRENT_USER.ini.q0Z9aa", own));
    for (const char* name :
         {"pressinfo.vlm.backup", "pressinfo.vlm.BEFORE", "pressinfo.vlm.Ab3xY",
          "pressinfo.vlm.Ab3xYz1", "pressinfo.vlm.Ab-xYz", "pressinfo.vlmXAb3xYz",
          "other.vlm.Ab3xYz", "xpressinfo.vlm.Ab3xYz", ".Ab3xYz"}) {
        EXPECT_FALSE(IsEarlierTemporaryFileName(name, own)) << name;
    }
    EXPECT_FALSE(IsEarlierTemporaryFileName("pressinfo.vlm.Ab3xYz", {}));

    Touch("pressinfo.vlm.Ab3xYz");
    Touch("HKEY_CURRENT_USER.ini.Held01");
    Touch("pressinfo.vlm.backup");
    Touch("other.vlm.Ab3xYz");
    fs::create_directory(m_dir / "pressinfo.vlm.Dir001");
    fs::create_symlink(m_dir / "pressinfo.vlm.backup", m_dir / "pressinfo.vlm.Link01");
    const int held = ::open((m_dir / "HKEY_CURRENT_USER.ini.Held01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    // Without the names nothing of the earlier pattern goes.
    EXPECT_EQ(RemoveStaleTemporaryFiles(m_dir.string()), 0);
    EXPECT_EQ(RemoveStaleTemporaryFiles(m_dir.string(), own), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"HKEY_CURRENT_USER.ini.Held01", "other.vlm.Ab3xYz",
                                                 "pressinfo.vlm.Dir001", "pressinfo.vlm.Link01",
                                                 "pressinfo.vlm.backup"}));
    ::close(held);
    EXPECT_EQ(RemoveStaleTemporaryFiles(m_dir.string(), own), 1);
    EXPECT_FALSE(fs::exists(m_dir / "HKEY_CURRENT_USER.ini.Held01"));
}

// Writers killed at random moments: the target is always the old or the new file whole, and
// whatever a kill leaves is a leftover the clean-up removes, while writes in progress in
// another process are never disturbed by it.
TEST_F(FileIO, KilledWritersLeaveTheOldOrTheNewFileAndNothingTheCleanUpMisses) {
    const std::string path = (m_dir / "pressinfo.vlm").string();
    const std::vector<std::uint8_t> oldData(200000, 0x11), newData(300000, 0x22);
    std::mt19937 rng(9);
    int killedMidway = 0;
    for (int round = 0; round < 30; ++round) {
        ASSERT_TRUE(WriteFileAtomically(path, oldData));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Alternates between the two contents until killed.
            for (int i = 0;; ++i) {
                if (!WriteFileAtomically(path, i % 2 ? oldData : newData)) {
                    ::_exit(3);
                }
            }
        }
        // Clean-ups meanwhile must not take a live writer's file.
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::microseconds(std::uniform_int_distribution(0, 20000)(rng));
        while (std::chrono::steady_clock::now() < until) {
            RemoveStaleTemporaryFiles(m_dir.string());
        }
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed: " << WEXITSTATUS(status);

        std::vector<std::uint8_t> data;
        ASSERT_TRUE(ReadWholeFile(path, data));
        EXPECT_TRUE(data == oldData || data == newData) << "round " << round;
        killedMidway += static_cast<int>(Names().size()) - 1;
        RemoveStaleTemporaryFiles(m_dir.string());
        EXPECT_EQ(Names(), std::vector<std::string>{"pressinfo.vlm"}) << "round " << round;
    }
    // With unnamed files leftovers are rare: only a kill between naming the new file and renaming
    // it leaves one. Without them most kills land in a write.
    const int probe = ::open(m_dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe >= 0) {
        ::close(probe);
        EXPECT_LE(killedMidway, 3);
    }
}

TEST_F(FileIO, ReadingAMissingFileFails) {
    std::vector<std::uint8_t> data{7};
    EXPECT_FALSE(ReadWholeFile((m_dir / "absent").string(), data));
}

} // namespace
