#include "sim/SimAnalyser.h"

#include "network/ZarnCodes.h"
#include "sim/BatchStatistics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace ZarnCode;

namespace {

// Shape of a crimp: flat until the crimp height closes in, a rise to the peak, then the fall
// as the ram returns, in samples of the 500-point curve.
constexpr double kBaseline = 60.0;
constexpr int kOnset = 90;
constexpr int kPeakAt = 250;
constexpr int kEnd = 410;
constexpr std::uint16_t kZones[5] = {100, 175, 250, 330, 60};

// Nominal peaks differ a little from analyser to analyser, as presses do.
constexpr int kNominalBase = 2400;
constexpr int kNominalSpread = 800;
constexpr int kLimitBand = 150;
constexpr double kCrimpSigma = 25.0;
constexpr double kBadCrimpChance = 0.03;
constexpr int kInitialCrimpsMin = 30;
constexpr int kInitialCrimpsSpread = 40;

constexpr std::uint16_t kMax12 = 4095;

std::uint16_t Clamp12(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, static_cast<long>(kMax12)));
}

} // namespace

CSimAnalyser::CSimAnalyser(int node, std::uint32_t seed)
    : m_nNominal(static_cast<std::uint16_t>(kNominalBase + (node * 97) % kNominalSpread)),
      m_random(seed * 2654435761u ^ static_cast<std::uint32_t>(node) * 40503u) {
    m_state.nNodeID = node;
    m_state.nBLO = 77;
    m_state.nTFactor = 50;
    m_state.nDFactor = 200;
    m_state.nSFactor = 200;
    m_state.nTeachCycles = 10;
    std::copy(std::begin(kZones), std::end(kZones), m_state.zones);
    m_state.nLowerLimit = static_cast<std::uint16_t>(m_nNominal - kLimitBand);
    m_state.nUpperLimit = static_cast<std::uint16_t>(m_nNominal + kLimitBand);
    m_state.reference = MakeCurve(m_nNominal, 0, 2.0);
    m_state.curve = m_state.reference;
    // An analyser that has been at work: some crimps in its buffer since the last reset.
    const int crimps = kInitialCrimpsMin + static_cast<int>(m_random() % kInitialCrimpsSpread);
    for (int i = 0; i < crimps; ++i) {
        Crimp(RandomCrimpValue());
    }
}

bool CSimAnalyser::SetState(const SimAnalyserState& state) {
    if (state.curve.size() != kCurvePoints || state.reference.size() != kCurvePoints ||
        state.batch.size() > kBatchCapacity) {
        return false;
    }
    const int node = m_state.nNodeID;
    m_state = state;
    m_state.nNodeID = node;
    return true;
}

bool CSimAnalyser::AddCrimps(const std::vector<std::uint16_t>& values) {
    if (std::any_of(values.begin(), values.end(), [](std::uint16_t v) { return v > kMax12; })) {
        return false;
    }
    for (std::uint16_t v : values) {
        Crimp(v);
    }
    return true;
}

void CSimAnalyser::SimulateCrimp() {
    Crimp(RandomCrimpValue());
}

unsigned CSimAnalyser::NextCrimpDelayMs(unsigned meanMs) {
    const double delay = meanMs * (0.5 + Uniform());
    return std::max(1u, static_cast<unsigned>(delay));
}

void CSimAnalyser::Crimp(std::uint16_t value) {
    const bool bGood = value >= m_state.nLowerLimit && value <= m_state.nUpperLimit;
    std::uint16_t& counter = bGood ? m_state.nPass : m_state.nFail;
    if (counter < 0xFFFF) {
        ++counter;
    }
    m_state.nPeakForce = value;
    const int shift = static_cast<int>(m_random() % 4) - 1;
    m_state.curve = MakeCurve(value, shift, 6.0);
    // A full buffer takes no more crimps until it is reset; the counters go on counting.
    if (m_state.batch.size() < kBatchCapacity) {
        m_state.batch.push_back(value);
    }
    UpdateResults();
}

std::vector<std::uint16_t> CSimAnalyser::MakeCurve(double peak, int shift, double noise) {
    std::vector<std::uint16_t> curve(kCurvePoints);
    for (std::size_t i = 0; i < kCurvePoints; ++i) {
        const int t = static_cast<int>(i) - shift;
        double v = kBaseline;
        if (t >= kOnset && t < kPeakAt) {
            const double u = static_cast<double>(t - kOnset) / (kPeakAt - kOnset);
            v += (peak - kBaseline) * (1.0 - std::cos(std::numbers::pi * u)) / 2.0;
        } else if (t >= kPeakAt && t < kEnd) {
            const double u = static_cast<double>(t - kPeakAt) / (kEnd - kPeakAt);
            v += (peak - kBaseline) * (1.0 + std::cos(std::numbers::pi * u)) / 2.0;
        }
        curve[i] = Clamp12(v + Normal() * noise);
    }
    return curve;
}

// Results compare the curve with the reference over each zone and over the whole judged span:
// RSn the signed and RUn the unsigned area difference, in tenths of a percent of the reference.
void CSimAnalyser::UpdateResults() {
    const auto at = [](int p) {
        return static_cast<std::size_t>(std::clamp(p, 0, static_cast<int>(kCurvePoints)));
    };
    const int z4 = m_state.zones[3];
    const std::size_t spans[4][2] = {{at(m_state.zones[0]), at(m_state.zones[1])},
                                     {at(m_state.zones[1]), at(m_state.zones[2])},
                                     {at(m_state.zones[2]), at(z4)},
                                     {at(m_state.zones[0]), at(z4 + m_state.zones[4])}};
    for (int z = 0; z < 4; ++z) {
        double reference = 0.0;
        double diff = 0.0;
        double absDiff = 0.0;
        for (std::size_t i = spans[z][0]; i < spans[z][1]; ++i) {
            const double d = static_cast<double>(m_state.curve[i]) - m_state.reference[i];
            reference += m_state.reference[i];
            diff += d;
            absDiff += std::abs(d);
        }
        const double rs = reference > 0.0 ? std::round(1000.0 * diff / reference) : 0.0;
        const double ru = reference > 0.0 ? std::round(1000.0 * absDiff / reference) : 0.0;
        m_state.rs[z] = static_cast<std::int16_t>(std::clamp(rs, -32768.0, 32767.0));
        m_state.ru[z] = static_cast<std::uint16_t>(std::clamp(ru, 0.0, 65535.0));
    }
}

double CSimAnalyser::Uniform() {
    return (m_random() >> 8) * (1.0 / 16777216.0);
}

// Box-Muller on our own uniform numbers, so a seed gives the same line on every library.
double CSimAnalyser::Normal() {
    const double u1 = 1.0 - Uniform();
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::uint16_t CSimAnalyser::RandomCrimpValue() {
    double value = m_nNominal + Normal() * kCrimpSigma;
    if (Uniform() < kBadCrimpChance) {
        // A crimp with strands missing: well under the nominal force.
        value -= 200.0 + Uniform() * 200.0;
    }
    return Clamp12(value);
}

COAXNWKPACKET CSimAnalyser::Pack(unsigned char code, std::uint16_t value, bool bCoded) const {
    const SimFault fault = m_state.fault;
    auto node = static_cast<unsigned char>(m_state.nNodeID);
    if (fault == SimFault::wrongSource) {
        node = static_cast<unsigned char>(node % 255 + 1);
    }
    if (fault == SimFault::wrongCode && bCoded) {
        code = kWrongCode;
    }
    COAXNWKPACKET packet = MakeZarnPacket(ZARN_CONTROLLER, code, node, value);
    if (fault == SimFault::damaged) {
        packet.lrc ^= 0x55; // the checksum still adds up; only the rotating check gives it away
    }
    return packet;
}

void CSimAnalyser::AddCurve(std::vector<COAXNWKPACKET>& out, unsigned char code,
                            const std::vector<std::uint16_t>& curve) const {
    for (std::uint16_t v : curve) {
        out.push_back(Pack(code, v, false));
    }
    const auto end = static_cast<std::uint16_t>(
        m_state.fault == SimFault::wrongEnd ? curve.size() - 1 : curve.size());
    out.push_back(Pack(ZARN_END, end, true));
}

void CSimAnalyser::AddBatch(std::vector<COAXNWKPACKET>& out) const {
    std::vector<std::uint16_t> entries = m_state.batch;
    if (m_state.fault == SimFault::longBatch && entries.size() <= kBatchCapacity) {
        entries.resize(kBatchCapacity + 1, m_nNominal);
    }
    for (std::uint16_t v : entries) {
        out.push_back(Pack(kReqBatch, v, false));
    }
    if (m_state.fault == SimFault::shortBatch) {
        return;
    }
    std::size_t end = entries.size();
    if (m_state.fault == SimFault::wrongEnd) {
        ++end;
    }
    out.push_back(Pack(ZARN_END, static_cast<std::uint16_t>(end), true));
}

void CSimAnalyser::AddStatistics(std::vector<COAXNWKPACKET>& out) const {
    const SimBatchStatistics s =
        ComputeBatchStatistics(m_state.batch, m_state.nLowerLimit, m_state.nUpperLimit);
    const std::int16_t values[7] = {
        s.nMean, s.nStdDev, s.nCpk, s.nCp, s.nMin, s.nMax, static_cast<std::int16_t>(s.nGood)};
    for (std::int16_t v : values) {
        out.push_back(Pack(kReqStatistics, static_cast<std::uint16_t>(v), false));
    }
    out.push_back(Pack(ZARN_END, s.nBad, true));
}

bool CSimAnalyser::Answer(const COAXNWKPACKET& request, SimReply& reply) {
    if (m_state.fault == SimFault::silent) {
        return false;
    }
    const std::uint16_t data = ZarnData(request);
    const unsigned char code = request.code;
    std::vector<COAXNWKPACKET> packets;
    const auto value = [&](std::uint16_t v) { packets.push_back(Pack(code, v, true)); };
    const auto ack = [&] { packets.push_back(Pack(ZARN_ACK, 0, true)); };
    switch (code) {
    case kReqAck:
        ack();
        break;
    case kReqForceCurve:
        AddCurve(packets, code, m_state.curve);
        break;
    case kReqReference:
        AddCurve(packets, code, m_state.reference);
        break;
    case kReqBatch:
        AddBatch(packets);
        break;
    case kReqResetBatch:
        m_state.batch.clear();
        m_state.nPass = 0;
        m_state.nFail = 0;
        ++m_state.nResets;
        ack();
        break;
    case kReqPassFail:
        packets.push_back(Pack(ZARN_PASS_COUNT, m_state.nPass, true));
        packets.push_back(Pack(ZARN_FAIL_COUNT, m_state.nFail, true));
        break;
    case kReqNewReference:
        m_state.reference = m_state.curve;
        ++m_state.nNewReferences;
        UpdateResults();
        ack();
        break;
    case kSetTeachCycles:
        m_state.nTeachCycles = data;
        ack();
        break;
    case kGetPeakForce:
        value(m_state.nPeakForce);
        break;
    case kGetBLO:
        value(m_state.nBLO);
        break;
    case kSetBLO:
        m_state.nBLO = data;
        ack();
        break;
    case kGetTFactor:
        value(m_state.nTFactor);
        break;
    case kSetTFactor:
        m_state.nTFactor = data;
        ack();
        break;
    case kGetDFactor:
        value(m_state.nDFactor);
        break;
    case kSetDFactor:
        m_state.nDFactor = data;
        ack();
        break;
    case kGetSFactor:
        value(m_state.nSFactor);
        break;
    case kSetSFactor:
        m_state.nSFactor = data;
        ack();
        break;
    case kReqStatistics:
        AddStatistics(packets);
        break;
    default:
        if (code >= kGetZone1 && code <= kGetZone5) {
            value(m_state.zones[code - kGetZone1]);
        } else if (code >= kGetResult1 && code <= kGetResultSigned4) {
            value(static_cast<std::uint16_t>(m_state.rs[code - kGetResult1]));
        } else if (code > kGetResultSigned4 && code <= kGetResult8) {
            value(m_state.ru[code - kGetResultSigned4 - 1]);
        } else {
            return false; // not a request this analyser knows
        }
        break;
    }

    reply.bytes.clear();
    reply.nDelayMs = m_state.fault == SimFault::slow ? kSlowReplyMs : 0;
    if (m_state.fault == SimFault::noise) {
        for (std::size_t i = 0; i < kNoiseBytes; ++i) {
            reply.bytes.push_back(static_cast<unsigned char>(m_random()));
        }
    }
    const auto* raw = reinterpret_cast<const unsigned char*>(packets.data());
    reply.bytes.insert(reply.bytes.end(), raw, raw + packets.size() * sizeof(COAXNWKPACKET));
    return true;
}
