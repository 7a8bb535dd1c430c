// What the line service costs when it only polls: 12 stations, one statistics reading and one
// presence test per station a minute, on the simulator's paced line. Measures the process's CPU
// time (from /proc) over a window of whole polling rounds after the first, and its resident
// memory. Targets: CPU below 0.5 %, resident memory below 20 MiB.
// Usage: bench_zarnd_idle [WINDOW_SECONDS] (default 120).

#include "BenchLine.h"
#include "ZarndProcess.h"
#include "sim/ZarnSimulator.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// User and system CPU seconds of a process.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double RssMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int window = argc > 1 ? std::atoi(argv[1]) : 120;
    CZarnSimulator::Options options;
    options.bPace = true;
    options.nSeed = 3;
    const auto pSim = StartBenchSim(options);
    const CZarnSimulator& sim = *pSim;
    CZarndProcess service(sim.DevicePath(), {"--nodes", "1-12", "--poll", "60", "--sweep", "60"});
    const pid_t pid = service.process.Pid();
    // The first readings come at once; the window starts after the start-up.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu0 = CpuSeconds(pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(window));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double percent = 100.0 * (CpuSeconds(pid) - cpu0) / seconds;
    const double rss = RssMiB(pid);
    const bool bMet = percent < 0.5 && rss < 20.0;
    std::printf("zarnd idle, 12 stations polled and swept every 60 s, %d s window: CPU %.3f %%, "
                "RSS %.1f MiB  [target CPU < 0.5 %%, RSS < 20 MiB: %s]\n",
                window, percent, rss, bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
