// What one zarnctl call costs as a process, start to end: `zarnctl --help`, and `zarnctl ping`
// against the simulated line on a pseudo-terminal, beside `zarnsim --help` for comparison.
// Each is started N times in turn (standard output and error on /dev/null) and the mean wall
// time per call printed. Target: a ping under 2.5 ms.
//
//   bench_zarnctl_calls [BIN_DIR] [N]   (default: the folder of this program, 200 calls)
#include "BenchLine.h"
#include "sim/ZarnSimulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr double kPingTargetMs = 2.5;

std::string OwnFolder() {
    char path[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string text(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return text.substr(0, text.find_last_of('/'));
}

// One run of the program to its end; its exit status, -1 when it could not run.
int RunOnce(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Mean milliseconds per call over n calls (after a few to warm the caches); -1 when a call
// failed.
double MeanMs(const std::vector<std::string>& args, int n) {
    for (int i = 0; i < 5; ++i) {
        if (RunOnce(args) != 0) {
            return -1;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        if (RunOnce(args) != 0) {
            return -1;
        }
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count() /
           n;
}

} // namespace

int main(int argc, char** argv) {
    const std::string bin = argc > 1 ? argv[1] : OwnFolder();
    const int n = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const auto pSim = StartBenchSim(OneStillAnalyser());
    const CZarnSimulator& sim = *pSim;
    const double simHelp = MeanMs({bin + "/zarnsim", "--help"}, n);
    const double help = MeanMs({bin + "/zarnctl", "--help"}, n);
    const double ping = MeanMs({bin + "/zarnctl", "--port", sim.DevicePath(), "ping", "1"}, n);
    if (simHelp < 0 || help < 0 || ping < 0) {
        std::fprintf(stderr, "a call failed (programs in %s)\n", bin.c_str());
        return 2;
    }
    std::printf("per call over %d calls: zarnsim --help %.2f ms, zarnctl --help %.2f ms\n", n,
                simHelp, help);
    const bool met = ping < kPingTargetMs;
    std::printf("zarnctl ping (simulated line): %.2f ms per call (target < %.1f ms) %s\n", ping,
                kPingTargetMs, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
