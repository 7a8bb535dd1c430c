// From a statistics reading on the line to a subscriber of the line service's MQTT feed, through
// a mosquitto broker on a loopback port. The service stamps each reading as its exchange ends;
// the subscriber compares that stamp with its own clock as the message arrives (the stamp has
// whole milliseconds, so each figure is up to 1 ms long). Target: p99 <= 20 ms.

#include "BenchLine.h"
#include "ZarndProcess.h"
#include "testsupport/Loopback.h"

#include <mosquitto.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char* const kMosquitto = "/usr/sbin/mosquitto";

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The "time" of a payload ("2026-12-08T14:05:31.208Z") in milliseconds since the epoch; -1
// when it has none.
long long StampMs(const std::string& payload) {
    const std::size_t at = payload.find("\"time\":\"");
    std::tm tm{};
    int ms = 0;
    if (at == std::string::npos ||
        std::sscanf(payload.c_str() + at + 8, "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year,
                    &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7) {
        return -1;
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<long long>(::timegm(&tm)) * 1000 + ms;
}

struct CDelays {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<double> ms;
};

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    if (::access(kMosquitto, X_OK) != 0) {
        std::fprintf(stderr, "%s is not installed\n", kMosquitto);
        return 2;
    }
    char pattern[] = "/tmp/zarnd-mqtt-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 2;
    }
    const std::string dir = pattern;
    const int port = FreeLoopbackPort();
    std::ofstream(dir + "/mosquitto.conf") << "listener " << port << " 127.0.0.1\n"
                                           << "allow_anonymous true\npersistence false\n";
    CChildProcess broker;
    CChildProcess::Options brokerOptions;
    brokerOptions.strLog = dir + "/mosquitto.log";
    brokerOptions.bPipeOut = false;
    if (!broker.Start({kMosquitto, "-c", dir + "/mosquitto.conf"}, brokerOptions)) {
        std::fprintf(stderr, "cannot start mosquitto: %s\n", broker.Error().c_str());
        return 2;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!LoopbackPortOpen(port)) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "mosquitto did not come up\n");
            return 2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    mosquitto_lib_init();
    CDelays delays;
    mosquitto* pMosq = mosquitto_new(nullptr, true, &delays);
    mosquitto_connect_callback_set(pMosq, [](mosquitto* m, void*, int) {
        mosquitto_subscribe(m, nullptr, "zarn/+/+/station/+/reading", 0);
    });
    mosquitto_message_callback_set(
        pMosq, [](mosquitto*, void* pContext, const mosquitto_message* message) {
            const long long now = NowMs();
            const std::string payload(static_cast<const char*>(message->payload),
                                      static_cast<std::size_t>(message->payloadlen));
            const long long stamp = StampMs(payload);
            if (stamp < 0) {
                return;
            }
            auto* pDelays = static_cast<CDelays*>(pContext);
            std::lock_guard lock(pDelays->mutex);
            pDelays->ms.push_back(static_cast<double>(now - stamp));
            pDelays->cv.notify_all();
        });
    mosquitto_connect(pMosq, "127.0.0.1", port, 10);
    mosquitto_loop_start(pMosq);

    // Twelve analysers crimping, read without pause on a paced line.
    auto pSim = StartBenchSim(PacedLine(12, 200));
    const int readings = 1000;
    {
        CZarndProcess service(pSim->DevicePath(),
                              {"--nodes", "1-12", "--poll", "0.05", "--sweep", "0", "--mqtt",
                               "mqtt://127.0.0.1:" + std::to_string(port), "--workstation", "bench",
                               "--line", "line1"});
        std::unique_lock lock(delays.mutex);
        if (!delays.cv.wait_for(lock, std::chrono::seconds(120),
                                [&] { return delays.ms.size() >= readings + 20; })) {
            std::fprintf(stderr, "only %zu readings arrived; see %s\n", delays.ms.size(),
                         dir.c_str());
            return 2;
        }
    }
    mosquitto_disconnect(pMosq);
    mosquitto_loop_stop(pMosq, true);
    mosquitto_destroy(pMosq);
    mosquitto_lib_cleanup();
    broker.Signal(SIGTERM);
    broker.Wait(10000);
    std::error_code error;
    std::filesystem::remove_all(dir, error);

    // The first readings go out while the service connects: they are left out.
    std::vector<double> ms(delays.ms.begin() + 20, delays.ms.begin() + 20 + readings);
    std::sort(ms.begin(), ms.end());
    const double p50 = ms[ms.size() / 2];
    const double p99 = ms[ms.size() * 99 / 100];
    const bool bMet = p99 <= 20.0;
    std::printf("Reading on the line to an MQTT subscriber on loopback (%d readings): p50 %.0f ms, "
                "p99 %.0f ms, max %.0f ms  [target p99 <= 20 ms: %s]\n",
                readings, p50, p99, ms.back(), bMet ? "met" : "MISSED");
    return bMet ? 0 : 1;
}
