#include "tools/zarnsoak/LineSoak.h"

#include "network/ZarnCodes.h"
#include "network/ZarnPort.h"
#include "sim/BatchStatistics.h"
#include "sim/NoisyRelay.h"
#include "sim/SimAnalyser.h"
#include "sim/ZarnSimulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>

using namespace ZarnCode;

namespace {

using Clock = std::chrono::steady_clock;
using States = std::map<int, SimAnalyserState>;

constexpr std::size_t kProblemsKept = 20;
constexpr unsigned kBatchCapacity = 1000;

enum class Op {
    ping,
    getWord,
    setWord,
    setTeach,
    peak,
    zones,
    results,
    counts,
    reset,
    newReference,
    stats,
    batch,
    curve,
    reference,
};

struct MixEntry {
    Op op;
    int nWeight;
    bool bDownload;
};

// Mostly the short requests an operator and the statistics window send; downloads now and then.
constexpr MixEntry kMix[] = {
    {Op::ping, 6, false},         {Op::getWord, 8, false},  {Op::setWord, 5, false},
    {Op::setTeach, 2, false},     {Op::peak, 2, false},     {Op::zones, 2, false},
    {Op::results, 2, false},      {Op::counts, 2, false},   {Op::reset, 2, false},
    {Op::newReference, 2, false}, {Op::stats, 2, false},    {Op::batch, 2, true},
    {Op::curve, 1, true},         {Op::reference, 1, true},
};

struct Word {
    const char* pszName;
    std::uint16_t SimAnalyserState::*pValue;
    int (CZarnPort::*get)(unsigned int, unsigned short*);
    int (CZarnPort::*set)(unsigned int, unsigned short);
    unsigned char nSetCode;
};

const Word kWords[] = {
    {"BLO", &SimAnalyserState::nBLO, &CZarnPort::GetBLO, &CZarnPort::SetBLO, kSetBLO},
    {"T factor", &SimAnalyserState::nTFactor, &CZarnPort::GetTFactor, &CZarnPort::SetTFactor,
     kSetTFactor},
    {"D factor", &SimAnalyserState::nDFactor, &CZarnPort::GetDFactor, &CZarnPort::SetDFactor,
     kSetDFactor},
    {"S factor", &SimAnalyserState::nSFactor, &CZarnPort::GetSFactor, &CZarnPort::SetSFactor,
     kSetSFactor},
};

float Tenths(std::int16_t v) {
    return static_cast<float>(v) * 0.1f;
}

bool SameCurve(const std::vector<tagPOINT>& points, const std::vector<std::uint16_t>& values) {
    if (points.size() < values.size()) {
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (points[i].x != static_cast<int>(i) || points[i].y != (values[i] & 0x0FFF)) {
            return false;
        }
    }
    return true;
}

// One soak run on a line that is set up.
class CSoakRun {
public:
    CSoakRun(const CLineSoak::Options& options, CZarnSimulator& sim, CZarnPort& port,
             CLineSoak::Report& report)
        : m_options(options), m_sim(sim), m_port(port), m_report(report), m_random(options.nSeed) {
        for (const MixEntry& m : kMix) {
            if (m_options.bDownloads || !m.bDownload) {
                m_mix.push_back(m);
                m_nTotalWeight += m.nWeight;
            }
        }
    }

    // Different values on every node, so that a reply from the wrong node cannot pass as right.
    void Prepare() {
        for (int node : m_options.nodes) {
            SimAnalyserState s;
            m_sim.GetState(node, s);
            s.nBLO = static_cast<std::uint16_t>(60 + node);
            s.nTFactor = static_cast<std::uint16_t>(40 + node);
            s.nDFactor = static_cast<std::uint16_t>(180 + node);
            s.nSFactor = static_cast<std::uint16_t>(210 + node);
            s.nTeachCycles = static_cast<std::uint16_t>(node);
            m_sim.SetState(node, s);
        }
    }

    void One();

private:
    States Snapshot() const {
        States states;
        for (int node : m_options.nodes) {
            m_sim.GetState(node, states[node]);
        }
        return states;
    }

    // What the analyser holds after carrying out the request, by the simulator's own rules.
    SimAnalyserState Apply(const SimAnalyserState& state, const CZarnRequest& request) const {
        CSimAnalyser shadow(state.nNodeID, m_options.nSeed);
        shadow.SetState(state);
        SimReply reply;
        shadow.Answer(
            MakeZarnPacket(request.m_nNodeID, request.m_nCode, ZARN_CONTROLLER, request.m_nData),
            reply);
        return shadow.GetState();
    }

    void Problem(unsigned long& count, const std::string& what) {
        ++count;
        if (m_report.problems.size() < kProblemsKept) {
            m_report.problems.push_back("request " + std::to_string(m_report.nRequests) + ": " +
                                        what);
        }
    }

    using Check = std::function<bool(const SimAnalyserState&)>;
    // Runs the request on the port; ok tells whether the library accepted it, and the check
    // whether what it delivered is what the analyser holds.
    Check Perform(Op op, int node, int& ok, std::string& what, std::optional<CZarnRequest>& sent);
    // The states an analyser may reach from the given one by carrying out, in order, any of
    // the requests.
    std::vector<SimAnalyserState> Reachable(const SimAnalyserState& state,
                                            const std::vector<CZarnRequest>& requests) const;

    template <typename T> T Pick(T low, T high) {
        return std::uniform_int_distribution<T>(low, high)(m_random);
    }

    const CLineSoak::Options& m_options;
    CZarnSimulator& m_sim;
    CZarnPort& m_port;
    CLineSoak::Report& m_report;
    std::mt19937 m_random;
    std::vector<MixEntry> m_mix;
    int m_nTotalWeight = 0;
    // Requests of failed exchanges that may still be on their way to the analysers: a controller
    // that gives up early (a damaged echo) may already be sending the next request. A success
    // shows the line has carried everything sent before it.
    std::vector<CZarnRequest> m_inFlight;
};

std::vector<SimAnalyserState> CSoakRun::Reachable(const SimAnalyserState& state,
                                                  const std::vector<CZarnRequest>& requests) const {
    std::vector<SimAnalyserState> states{state};
    for (const CZarnRequest& r : requests) {
        if (r.m_nNodeID != state.nNodeID) {
            continue;
        }
        const std::size_t n = states.size();
        for (std::size_t i = 0; i < n; ++i) {
            SimAnalyserState next = Apply(states[i], r);
            if (std::find(states.begin(), states.end(), next) == states.end()) {
                states.push_back(std::move(next));
            }
        }
    }
    return states;
}

CSoakRun::Check CSoakRun::Perform(Op op, int node, int& ok, std::string& what,
                                  std::optional<CZarnRequest>& sent) {
    const auto n = static_cast<unsigned>(node);
    const auto nodeByte = static_cast<unsigned char>(node);
    const std::string of = " of node " + std::to_string(node);
    switch (op) {
    case Op::ping:
        what = "presence test" + of;
        ok = m_port.RequestACK(nodeByte);
        return nullptr;
    case Op::getWord: {
        const Word& w = kWords[Pick<std::size_t>(0, std::size(kWords) - 1)];
        what = std::string("read ") + w.pszName + of;
        unsigned short v = 0;
        ok = (m_port.*w.get)(n, &v);
        return [&w, v](const SimAnalyserState& b) { return v == b.*w.pValue; };
    }
    case Op::setWord: {
        const Word& w = kWords[Pick<std::size_t>(0, std::size(kWords) - 1)];
        const auto v = Pick<std::uint16_t>(0, 0xFFFF);
        what = std::string("set ") + w.pszName + of + " to " + std::to_string(v);
        sent = CZarnRequest{nodeByte, w.nSetCode, v};
        ok = (m_port.*w.set)(n, v);
        return nullptr; // judged by the analyser's state
    }
    case Op::setTeach: {
        const auto v = Pick<std::uint16_t>(1, 50);
        what = "set teach cycles" + of + " to " + std::to_string(v);
        sent = CZarnRequest{nodeByte, kSetTeachCycles, v};
        ok = m_port.SetTeachCycles(n, v);
        return nullptr;
    }
    case Op::peak: {
        what = "read peak force" + of;
        int v = -1;
        ok = m_port.GetPeakForce(n, &v);
        return [v](const SimAnalyserState& b) { return v == b.nPeakForce; };
    }
    case Op::zones: {
        what = "read zones" + of;
        std::array<int, 5> z{};
        ok = m_port.GetZoneInfo(n, &z[0], &z[1], &z[2], &z[3], &z[4]);
        return [z](const SimAnalyserState& b) {
            return std::equal(z.begin(), z.end(), std::begin(b.zones));
        };
    }
    case Op::results: {
        what = "read results" + of;
        std::array<short, 4> rs{};
        std::array<unsigned short, 4> ru{};
        ok =
            m_port.GetResultInfo(n, &rs[0], &rs[1], &rs[2], &rs[3], &ru[0], &ru[1], &ru[2], &ru[3]);
        return [rs, ru](const SimAnalyserState& b) {
            // The last unsigned value is limited to 999 on its way.
            const std::uint16_t ruo = std::min<std::uint16_t>(b.ru[3], 999);
            return std::equal(rs.begin(), rs.end(), std::begin(b.rs)) && ru[0] == b.ru[0] &&
                   ru[1] == b.ru[1] && ru[2] == b.ru[2] && ru[3] == ruo;
        };
    }
    case Op::counts: {
        what = "read pass and fail counts" + of;
        unsigned pass = 0, fail = 0;
        ok = m_port.GetPassFailCount(n, &pass, &fail);
        return
            [pass, fail](const SimAnalyserState& b) { return pass == b.nPass && fail == b.nFail; };
    }
    case Op::reset:
        what = "reset batch buffer" + of;
        sent = CZarnRequest{nodeByte, kReqResetBatch, 0};
        ok = m_port.ResetBatchBuffer(n);
        return nullptr;
    case Op::newReference:
        what = "new reference" + of;
        sent = CZarnRequest{nodeByte, kReqNewReference, 0};
        ok = m_port.NewReference(n);
        return nullptr;
    case Op::stats: {
        what = "read statistics" + of;
        CStats s;
        ok = m_port.GetStatistics(n, s);
        return [s](const SimAnalyserState& b) {
            const SimBatchStatistics e =
                ComputeBatchStatistics(b.batch, b.nLowerLimit, b.nUpperLimit);
            return s.m_fMean == Tenths(e.nMean) && s.m_fStdDev == Tenths(e.nStdDev) &&
                   s.m_fCpk == Tenths(e.nCpk) && s.m_fCp == Tenths(e.nCp) && s.m_nMin == e.nMin &&
                   s.m_nMax == e.nMax && s.m_nGood == e.nGood && s.m_nBad == e.nBad &&
                   s.m_nBLO == b.nBLO;
        };
    }
    case Op::batch: {
        what = "download batch buffer" + of;
        std::vector<tagPOINT> points(kBatchCapacity, tagPOINT{-1, -1});
        unsigned short count = 0;
        CStats s;
        ok = m_port.DownloadBatchBuffer(nodeByte, points.data(), &count, s, kBatchCapacity);
        return [points, count](const SimAnalyserState& b) {
            return count == b.batch.size() && SameCurve(points, b.batch);
        };
    }
    case Op::curve:
    case Op::reference: {
        const bool force = op == Op::curve;
        what = std::string(force ? "download force curve" : "download reference") + of;
        std::vector<tagPOINT> points(CZarnPort::kCurvePoints, tagPOINT{-1, -1});
        ok = force ? m_port.DownloadForceCurve(nodeByte, points.data())
                   : m_port.DownloadReference(nodeByte, points.data());
        return [points, force](const SimAnalyserState& b) {
            return SameCurve(points, force ? b.curve : b.reference);
        };
    }
    }
    return nullptr;
}

void CSoakRun::One() {
    int pick = Pick(0, m_nTotalWeight - 1);
    Op op = m_mix.front().op;
    for (const MixEntry& m : m_mix) {
        if (pick < m.nWeight) {
            op = m.op;
            break;
        }
        pick -= m.nWeight;
    }
    const int node = m_options.nodes[Pick<std::size_t>(0, m_options.nodes.size() - 1)];
    // Production is off, so batches emptied by resets are filled again by hand.
    SimAnalyserState current;
    if (m_sim.GetState(node, current) && current.batch.size() < 5) {
        std::vector<std::uint16_t> crimps(20);
        for (auto& c : crimps) {
            c = Pick<std::uint16_t>(2000, 3500);
        }
        m_sim.AddCrimps(node, crimps);
    }

    const States before = Snapshot();
    int ok = 0;
    std::string what;
    std::optional<CZarnRequest> sent;
    const auto start = Clock::now();
    const Check check = Perform(op, node, ok, what, sent);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const States after = Snapshot();

    ++m_report.nRequests;
    if (ms > m_report.dLongestMs) {
        m_report.dLongestMs = ms;
        m_report.strLongest = what;
    }
    std::optional<CZarnRequest> carried;
    if (ok) {
        ++m_report.nSucceeded;
    } else {
        ++m_report.failures[ZarnErrorText(m_port.GetLastError())];
        carried = m_port.GetCarriedRequest();
        if (carried) {
            ++m_report.nCarried;
            m_report.nCarriedChanges += carried->ChangesAnalyser() ? 1 : 0;
        }
    }
    // A reading that succeeded was answered after everything sent before it had been carried
    // out, and readings change nothing: it must match the analyser as it is now.
    if (ok && check && !check(after.at(node))) {
        Problem(m_report.nFalseAccepts,
                what + " succeeded with a result the analyser does not hold");
    }
    for (const auto& [n, b] : before) {
        const SimAnalyserState& a = after.at(n);
        if (ok && sent && sent->m_nNodeID == n) {
            // Whatever else was still on its way, the set or order itself was taken.
            std::vector<SimAnalyserState> taken;
            for (const SimAnalyserState& s : Reachable(b, m_inFlight)) {
                taken.push_back(Apply(s, *sent));
            }
            if (std::find(taken.begin(), taken.end(), a) == taken.end()) {
                Problem(m_report.nFalseAccepts,
                        what + " succeeded but the analyser did not take it");
            }
            continue;
        }
        if (a == b) {
            continue;
        }
        std::vector<CZarnRequest> possible = m_inFlight;
        if (sent) {
            possible.push_back(*sent);
        }
        if (carried) {
            possible.push_back(*carried);
        }
        const std::vector<SimAnalyserState> reachable = Reachable(b, possible);
        if (std::find(reachable.begin(), reachable.end(), a) == reachable.end()) {
            Problem(m_report.nUnexplainedChanges,
                    "node " + std::to_string(n) + " changed during " + what + " (" +
                        (ok ? "succeeded" : m_port.GetLastErrorText()) + ")");
        }
    }
    if (ok) {
        m_inFlight.clear();
    } else {
        if (sent) {
            m_inFlight.push_back(*sent);
        }
        if (carried) {
            m_inFlight.push_back(*carried);
        }
    }
}

} // namespace

bool CLineSoak::Run(Report& report, std::string* error) {
    report = Report();
    if (m_options.nodes.empty()) {
        if (error) {
            *error = "no nodes to ask";
        }
        return false;
    }
    CZarnSimulator::Options simOptions;
    simOptions.nodes = m_options.nodes;
    simOptions.nCrimpIntervalMs = 0; // only the controller's requests change the analysers
    simOptions.nSeed = m_options.nSeed;
    CZarnSimulator sim(simOptions);
    if (!sim.Start(error)) {
        return false;
    }
    CNoisyRelay relay({sim.DevicePath(), m_options.dBitErrorRate, m_options.nSeed});
    if (!relay.Start(error)) {
        return false;
    }
    CZarnPort port(relay.DevicePath().c_str(), 57600, 0, 0);
    if (!port.SetCommPort()) {
        if (error) {
            *error = "cannot open " + relay.DevicePath();
        }
        return false;
    }
    CSoakRun run(m_options, sim, port, report);
    run.Prepare();
    const auto start = Clock::now();
    const auto limit = std::chrono::seconds(m_options.nSeconds);
    while (report.nRequests < m_options.nRequests &&
           (m_options.nSeconds == 0 || Clock::now() - start < limit)) {
        run.One();
    }
    report.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    report.nBytesRelayed = relay.BytesRelayed();
    report.nBitsFlipped = relay.BitsFlipped();
    return true;
}

std::string CLineSoak::Format(const Report& r) {
    char line[256];
    std::string out;
    std::snprintf(line, sizeof line, "requests           %lu in %.1f s (%lu succeeded)\n",
                  r.nRequests, r.dSeconds, r.nSucceeded);
    out += line;
    std::snprintf(line, sizeof line, "line               %llu bytes, %llu bits flipped\n",
                  static_cast<unsigned long long>(r.nBytesRelayed),
                  static_cast<unsigned long long>(r.nBitsFlipped));
    out += line;
    unsigned long failed = 0;
    for (const auto& [reason, count] : r.failures) {
        failed += count;
    }
    std::snprintf(line, sizeof line, "failures           %lu\n", failed);
    out += line;
    for (const auto& [reason, count] : r.failures) {
        std::snprintf(line, sizeof line, "  %8lu  %s\n", count, reason.c_str());
        out += line;
    }
    std::snprintf(line, sizeof line,
                  "noise-made requests %lu reported, %lu of them changing an analyser\n",
                  r.nCarried, r.nCarriedChanges);
    out += line;
    std::snprintf(line, sizeof line, "false accepts      %lu\n", r.nFalseAccepts);
    out += line;
    std::snprintf(line, sizeof line, "unexplained changes %lu\n", r.nUnexplainedChanges);
    out += line;
    std::snprintf(line, sizeof line, "longest request    %.1f ms (%s)\n", r.dLongestMs,
                  r.strLongest.c_str());
    out += line;
    for (const std::string& p : r.problems) {
        out += "  " + p + "\n";
    }
    return out;
}
