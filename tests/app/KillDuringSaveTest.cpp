// The program ended with SIGKILL at random moments of its exit save, again and again: the
// station file, the statistics list and the settings are always either the old or the new file,
// and whatever a kill leaves behind is gone after the next start.
#include "app/framework/SettingsStore.h"
#include "app/stats/StatsListFile.h"
#include "base/Archive.h"
#include "base/FileIO.h"
#include "records/StationFile.h"
#include "tests/app/TempConfig.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr int kKills = 30;
constexpr auto kStartDeadline = std::chrono::seconds(60);
constexpr const char* kReady = "startup to main window";

// One run of the program on the simulated line that ends by itself right after start-up, as
// File Exit does.
class CProgramRun {
public:
    CProgramRun(const std::string& workDir, const std::string& configHome) {
        CChildProcess::Options options;
        options.strDir = workDir;
        options.env = {"XDG_CONFIG_HOME=" + configHome, "QT_QPA_PLATFORM=offscreen"};
        m_bStarted = m_child.Start(
            {QUORVEL_BINARY, "--simulate", "--no-splash", "--measure-startup"}, options);
    }

    bool Started() const { return m_bStarted; }

    // True once the program has printed a line holding the text, false at end of output or the
    // deadline.
    bool WaitFor(const std::string& text) {
        const auto deadline = Clock::now() + kStartDeadline;
        std::string line;
        while (line.find(text) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !m_child.ReadLine(line, static_cast<int>(left.count()))) {
                return false;
            }
        }
        return true;
    }
    void Kill() { m_child.Signal(SIGKILL); }
    // Zero after a normal end; -1 when the process did not end within the deadline.
    int Wait() {
        return m_child.Wait(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(kStartDeadline).count()));
    }

private:
    CChildProcess m_child;
    bool m_bStarted = false;
};

Bytes ReadBytes(const std::string& path) {
    Bytes data;
    ReadWholeFile(path, data);
    return data;
}

void WriteBytes(const std::string& path, const Bytes& data) {
    ASSERT_TRUE(WriteFileAtomically(path, data)) << path;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Everything in the folders but the program's own files.
std::vector<std::string> Strays(const std::vector<std::string>& folders) {
    static const char* const kOwn[] = {"pressinfo.vlm", "statswnd.vlm", "HKEY_CURRENT_USER.ini",
                                       "HKEY_LOCAL_MACHINE.ini"};
    std::vector<std::string> found;
    for (const std::string& folder : folders) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (std::find(std::begin(kOwn), std::end(kOwn), name) == std::end(kOwn)) {
                found.push_back(entry.path().string());
            }
        }
    }
    return found;
}

class KillDuringSave : public ::testing::Test {
protected:
    enum Outcome { kOld, kNew, kDamaged };

    void SetUp() override {
        fs::create_directories(m_config.ProgramFolder());
        PressList presses;
        presses.push_back(std::make_unique<CPress>("Press A", CPoint{40, 40}, 5));
        presses.push_back(std::make_unique<CPress>("Press B", CPoint{120, 40}, 9));
        m_newStation = StationFile::Store(presses);
        // Loaded, trailing bytes are ignored; saved, they are gone.
        m_oldStation = m_newStation;
        m_oldStation.insert(m_oldStation.end(), {'o', 'l', 'd'});
        // The node IDs read at start-up make no rows, so the program saves an empty list.
        CArchive oldList(&m_oldList);
        // Node 77 has no station on the layout: the program leaves it out at start.
        CStatsListFile::Write(oldList, {5, 77, 9});
        CArchive newList(&m_newList);
        CStatsListFile::Write(newList, {5, 9});
        // Settings: a comment the writer does not keep, and a value nobody changes.
        m_oldUser = CSettingsStore::Format(
                        {{"Software\\Velmora\\Quorvel\\Kept", {{"Marker", false, "kept", 0}}}},
                        "Quorvel settings (HKEY_CURRENT_USER)") +
                    "; written before the run\n";
        m_oldMachine = CSettingsStore::Format(
                           {{"Software\\Velmora\\Quorvel\\Settings", {{"Port", false, "COM7", 0}}}},
                           "Quorvel settings (HKEY_LOCAL_MACHINE)") +
                       "; written before the run\n";
    }

    std::string Work(const char* name) const { return m_config.WorkDir() + "/" + name; }
    std::string Settings(const char* name) const { return m_config.ProgramFolder() + "/" + name; }

    void PutOldFiles() {
        WriteBytes(Work("pressinfo.vlm"), m_oldStation);
        WriteBytes(Work("statswnd.vlm"), m_oldList);
        WriteBytes(Settings("HKEY_CURRENT_USER.ini"), Text(m_oldUser));
        WriteBytes(Settings("HKEY_LOCAL_MACHINE.ini"), Text(m_oldMachine));
    }

    static Outcome Judge(const Bytes& now, const Bytes& old, const Bytes& fresh) {
        return now == old ? kOld : now == fresh ? kNew : kDamaged;
    }
    // A settings file is new when it is a whole file as the writer writes it (every version the
    // exit's successive writes leave is one) and still holds the value that was there.
    static Outcome JudgeSettings(const Bytes& now, const std::string& old, const char* header,
                                 const char* key, const char* value, const char* data) {
        const std::string text(now.begin(), now.end());
        if (text == old) {
            return kOld;
        }
        CSettingsStore::Key wanted{key, {{value, false, data, 0}}};
        const std::vector<CSettingsStore::Key> keys = CSettingsStore::Parse(text);
        const bool whole = CSettingsStore::Format(keys, header) == text;
        const bool kept = std::any_of(keys.begin(), keys.end(), [&](const CSettingsStore::Key& k) {
            return k.strPath == key && k.values.size() == 1 && k.values[0].strData == data;
        });
        return whole && kept ? kNew : kDamaged;
    }

    CTempConfig m_config;
    Bytes m_oldStation, m_newStation, m_oldList, m_newList;
    std::string m_oldUser, m_oldMachine;
};

TEST_F(KillDuringSave, FilesAreAlwaysOldOrNewAndLeftoversGoAtTheNextStart) {
    const std::vector<std::string> folders = {m_config.WorkDir(), m_config.ProgramFolder()};
    // How long the exit takes, from the line printed before it to the end of the process.
    PutOldFiles();
    Clock::duration exitTime{};
    {
        CProgramRun run(m_config.WorkDir(), m_config.ConfigHome());
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(run.WaitFor(kReady));
        const auto ready = Clock::now();
        ASSERT_EQ(run.Wait(), 0);
        exitTime = Clock::now() - ready;
    }
    ASSERT_EQ(ReadBytes(Work("pressinfo.vlm")), m_newStation);
    ASSERT_EQ(ReadBytes(Work("statswnd.vlm")), m_newList);

    std::mt19937 random(20240607);
    int outcomes[4][3] = {};
    int leftovers = 0;
    // What a kill between naming a new file and renaming it would leave, so that the clean-up
    // at start is seen at work even when no kill hits that moment. Anything else a kill leaves
    // must be gone after the next start just the same, and so must what the earlier writer left.
    std::vector<std::string> left = {
        Work("pressinfo.vlm.tmp~Killed"), Settings("HKEY_CURRENT_USER.ini.tmp~Killed"),
        Work("statswnd.vlm.Kd4x0Q"), Settings("HKEY_LOCAL_MACHINE.ini.x9Rq2B")};
    for (const std::string& path : left) {
        WriteBytes(path, {1, 2, 3});
    }
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        PutOldFiles();
        CProgramRun run(m_config.WorkDir(), m_config.ConfigHome());
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(run.WaitFor(kReady));
        // The start has cleared what the last kill left.
        for (const std::string& path : left) {
            EXPECT_FALSE(fs::exists(path)) << path;
        }
        // Mostly early in the exit, where the saves are; now and then as late as its end.
        const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random);
        std::this_thread::sleep_for(
            std::chrono::duration_cast<Clock::duration>(exitTime * u * u * u));
        run.Kill();
        ASSERT_NE(run.Wait(), -1);

        const Outcome judged[4] = {
            Judge(ReadBytes(Work("pressinfo.vlm")), m_oldStation, m_newStation),
            Judge(ReadBytes(Work("statswnd.vlm")), m_oldList, m_newList),
            JudgeSettings(ReadBytes(Settings("HKEY_CURRENT_USER.ini")), m_oldUser,
                          "Quorvel settings (HKEY_CURRENT_USER)",
                          "Software\\Velmora\\Quorvel\\Kept", "Marker", "kept"),
            JudgeSettings(ReadBytes(Settings("HKEY_LOCAL_MACHINE.ini")), m_oldMachine,
                          "Quorvel settings (HKEY_LOCAL_MACHINE)",
                          "Software\\Velmora\\Quorvel\\Settings", "Port", "COM7"),
        };
        for (int file = 0; file < 4; ++file) {
            ++outcomes[file][judged[file]];
            EXPECT_NE(judged[file], kDamaged) << "file " << file;
        }
        left = Strays(folders);
        leftovers += static_cast<int>(left.size());
    }
    // The kills fell on both sides of the saves, so both outcomes were seen.
    EXPECT_GT(outcomes[0][kOld] + outcomes[1][kOld], 0);
    EXPECT_GT(outcomes[0][kNew] + outcomes[1][kNew], 0);

    // The next start clears the last leftovers; its own exit leaves none.
    CProgramRun last(m_config.WorkDir(), m_config.ConfigHome());
    ASSERT_TRUE(last.Started());
    ASSERT_TRUE(last.WaitFor(kReady));
    ASSERT_EQ(last.Wait(), 0);
    EXPECT_EQ(Strays(folders), std::vector<std::string>{});
    EXPECT_EQ(ReadBytes(Work("pressinfo.vlm")), m_newStation);

    std::printf("%d kills in an exit of %lld ms: station file %d old, %d new; statistics list %d "
                "old, %d new; user settings %d old, %d new; damaged %d; files left "
                "by kills %d\n",
                kKills,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(exitTime).count()),
                outcomes[0][kOld], outcomes[0][kNew], outcomes[1][kOld], outcomes[1][kNew],
                outcomes[2][kOld], outcomes[2][kNew],
                outcomes[0][kDamaged] + outcomes[1][kDamaged] + outcomes[2][kDamaged] +
                    outcomes[3][kDamaged],
                leftovers);
}

} // namespace
