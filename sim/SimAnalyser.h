#pragma once

#include "network/ZarnPacket.h"
#include "sim/ZarnSimulator.h"

#include <cstdint>
#include <random>
#include <vector>

// What the line carries back for one request: the reply bytes (stray noise included), to start
// after a delay.
struct SimReply {
    std::vector<unsigned char> bytes;
    unsigned nDelayMs = 0;
};

// One simulated Zarn analyser: its parameters, last force curve and reference, zones and
// results, counters and batch buffer, and how it answers each request on the line. Not
// thread-safe; the simulator guards it.
class CSimAnalyser {
public:
    static constexpr std::size_t kCurvePoints = 500;
    static constexpr std::size_t kBatchCapacity = 1000;
    // Later than the controller's 1200 ms read time-out.
    static constexpr unsigned kSlowReplyMs = 1500;
    static constexpr std::size_t kNoiseBytes = 3;
    static constexpr unsigned char kWrongCode = 0x81;

    CSimAnalyser(int node, std::uint32_t seed);

    const SimAnalyserState& GetState() const { return m_state; }
    // False, changing nothing, unless both curves hold 500 samples and the batch fits the buffer.
    bool SetState(const SimAnalyserState& state);
    void SetFault(SimFault fault) { m_state.fault = fault; }

    // Crimps with the given values (12-bit); false, changing nothing, for a value above 4095.
    bool AddCrimps(const std::vector<std::uint16_t>& values);
    // One crimp of simulated production.
    void SimulateCrimp();
    // Time to the next simulated crimp, around the given mean.
    unsigned NextCrimpDelayMs(unsigned meanMs);

    // Carries out a request addressed to this analyser and builds the reply; false when the
    // analyser stays silent (silent fault, or a code it does not know).
    bool Answer(const COAXNWKPACKET& request, SimReply& reply);

private:
    void Crimp(std::uint16_t value);
    std::vector<std::uint16_t> MakeCurve(double peak, int shift, double noise);
    void UpdateResults();
    std::uint16_t RandomCrimpValue();
    double Uniform();
    double Normal();
    COAXNWKPACKET Pack(unsigned char code, std::uint16_t value, bool bCoded) const;
    void AddCurve(std::vector<COAXNWKPACKET>& out, unsigned char code,
                  const std::vector<std::uint16_t>& curve) const;
    void AddBatch(std::vector<COAXNWKPACKET>& out) const;
    void AddStatistics(std::vector<COAXNWKPACKET>& out) const;

    SimAnalyserState m_state;
    std::uint16_t m_nNominal;
    std::mt19937 m_random;
};
