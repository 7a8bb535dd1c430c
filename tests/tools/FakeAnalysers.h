#pragma once

#include "testsupport/ScriptedLine.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// One analyser as the scripted line plays it.
struct CFakeAnalyser {
    std::uint16_t m_nBLO = 0;
    std::uint16_t m_nTFactor = 0;
    std::uint16_t m_nDFactor = 0;
    std::uint16_t m_nSFactor = 0;
    std::uint16_t m_nTeach = 0;
    std::uint16_t m_nPeak = 0;
    std::uint16_t m_zones[5] = {};
    std::uint16_t m_results[8] = {}; // RS1 RS2 RS3 RSO RU1 RU2 RU3 RUO as they travel
    std::uint16_t m_nPass = 0;
    std::uint16_t m_nFail = 0;
    std::vector<std::uint16_t> m_curve = std::vector<std::uint16_t>(500, 0);
    std::vector<std::uint16_t> m_reference = std::vector<std::uint16_t>(500, 0);
    std::vector<std::uint16_t> m_batch;
    std::uint16_t m_stats[8] = {}; // mean sd cpk cp (tenths) min max good bad
    unsigned m_nResets = 0;
    unsigned m_nNewReferences = 0;

    // Misbehaviour.
    bool m_bSilent = false;
    bool m_bStatsSilent = false;          // answers everything but the statistics request
    unsigned char m_nAckCode = 0x80;      // acknowledges carry this code
    unsigned char m_nStatsEndCode = 0x84; // code of the eighth statistics packet
    int m_nCurveEnd = 500;                // value of the curve's end packet
};

// Answers the controller's requests on a scripted line as the analysers added here would. The
// line echoes every write, as the shared line does.
class CFakeAnalysers {
public:
    explicit CFakeAnalysers(std::shared_ptr<CScriptedLine> line);
    CFakeAnalyser& Add(unsigned node);
    CFakeAnalyser& At(unsigned node) { return m_nodes.at(node); }
    // Noise on the line: it changes what the controller writes before the analysers hear it
    // and the line echoes it.
    void SetNoise(std::function<void(std::vector<std::uint8_t>&)> noise);

    // Node IDs of every request written to the line, in order.
    std::vector<unsigned> RequestedNodes() const;
    // Request codes written to one node, in order.
    std::vector<unsigned> RequestCodes(unsigned node) const;

private:
    void Respond(CScriptedLine& line, const std::vector<std::uint8_t>& bytes);

    std::shared_ptr<CScriptedLine> m_pLine;
    std::map<unsigned, CFakeAnalyser> m_nodes;
    std::function<void(std::vector<std::uint8_t>&)> m_noise;
};
