#include "base/FileIO.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
};

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

TEST_F(FileIO, ReadingAMissingFileFails) {
    std::vector<std::uint8_t> data{7};
    EXPECT_FALSE(ReadWholeFile((m_dir / "absent").string(), data));
}

} // namespace
