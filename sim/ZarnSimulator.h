#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Ways a simulated analyser can misbehave, chosen per node.
enum class SimFault {
    none,
    silent,      // never answers (the line still echoes the request)
    damaged,     // replies carry wrong check bytes
    wrongSource, // replies name another node as sender
    wrongCode,   // acknowledges, counts, values and end packets carry an unexpected code
    slow,        // replies come later than the controller's read time-out
    wrongEnd,    // end packets carry a wrong value (curve: 499, batch: count + 1)
    shortBatch,  // the batch stops without its end packet
    longBatch,   // the batch sends more than 1000 entries
    noise,       // stray bytes on the line before each reply
};

// Parses "silent", "damaged", "wrong-source", "wrong-code", "slow", "wrong-end", "short-batch",
// "long-batch", "noise"; false for anything else.
bool ParseSimFault(const std::string& text, SimFault& fault);

// The state of one simulated analyser, as tests see and set it.
struct SimAnalyserState {
    int nNodeID = 0;
    std::uint16_t nBLO = 0;
    std::uint16_t nTFactor = 0;
    std::uint16_t nDFactor = 0;
    std::uint16_t nSFactor = 0;
    std::uint16_t nTeachCycles = 0;
    std::uint16_t nPeakForce = 0;
    std::uint16_t nPass = 0;
    std::uint16_t nFail = 0;
    std::uint16_t zones[5] = {};
    std::int16_t rs[4] = {};
    std::uint16_t ru[4] = {};
    std::vector<std::uint16_t> curve;     // 500 samples, 12-bit
    std::vector<std::uint16_t> reference; // 500 samples, 12-bit
    std::vector<std::uint16_t> batch;     // one 12-bit value per crimp since the last reset
                                          // (at most 1000: a full buffer stops taking crimps)
    unsigned nResets = 0;
    unsigned nNewReferences = 0;
    SimFault fault = SimFault::none;
    // A crimp is good when its value lies within these limits (inclusive); they are also the
    // lower and upper limits of Cp and Cpk. New analysers take their nominal peak +-150.
    std::uint16_t nLowerLimit = 0;
    std::uint16_t nUpperLimit = 4095;

    bool operator==(const SimAnalyserState&) const = default;
};

// A simulated analyser line on a pseudo-terminal. The controller opens DevicePath() (or the
// link) like any serial port; the simulator echoes every byte the controller writes, as the
// shared line does, and answers as the analysers at the configured node IDs. A background
// thread serves the line from Start() to Stop().
//
// The line can also be served as a raw TCP server (the controller opens TcpUrl(), a socket://
// port name), beside the pseudo-terminal or instead of it. One TCP client at a time: a new
// client replaces the one before. The line answers whichever side wrote last.
class CZarnSimulator {
public:
    struct Options {
        std::vector<int> nodes; // node IDs to answer as; empty means 1 to 12
        std::string strLink;    // if set, a symbolic link to the device path
        bool bPace = false;     // deliver bytes at the 57600-baud byte time
        std::vector<std::pair<int, SimFault>> faults;
        // Each analyser adds one simulated crimp to its batch at this mean interval;
        // 0 turns simulated production off (tests add crimps by hand).
        unsigned nCrimpIntervalMs = 3000;
        std::uint32_t nSeed = 1; // makes curves, batches and production repeatable
        // "[HOST:]PORT" to serve the line over raw TCP too (HOST 127.0.0.1 unless given; port 0
        // takes a free one); empty for none.
        std::string strTcp;
        bool bPty = true; // false: TCP only
    };

    explicit CZarnSimulator(Options options);
    ~CZarnSimulator(); // stops
    CZarnSimulator(const CZarnSimulator&) = delete;
    CZarnSimulator& operator=(const CZarnSimulator&) = delete;

    // Opens the pseudo-terminal and starts serving; false with a reason on failure.
    bool Start(std::string* error = nullptr);
    void Stop();
    bool IsRunning() const;
    // The pseudo-terminal's device path, e.g. "/dev/pts/7"; empty before Start() or without one.
    std::string DevicePath() const;
    // "socket://HOST:PORT" with the port actually bound; empty without TCP or before Start().
    std::string TcpUrl() const;
    // TCP clients accepted since Start().
    unsigned long TcpClients() const;

    // Thread-safe access to the analysers while the line runs.
    bool GetState(int node, SimAnalyserState& state) const;
    bool SetState(int node, const SimAnalyserState& state);
    void SetFault(int node, SimFault fault);
    bool AddCrimps(int node, const std::vector<std::uint16_t>& values);
    // Requests answered since Start(), all nodes together.
    unsigned long RequestsServed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
