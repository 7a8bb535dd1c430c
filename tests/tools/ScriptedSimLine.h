#pragma once

#include "sim/SimAnalyser.h"
#include "testsupport/ScriptedLine.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

// The simulator's analysers answering on a scripted line, so that a test keeps the line's
// manual clock and exact timing. The line echoes every write, as the shared line does. Beyond
// the analysers' own faults the line can stay silent to one request of a node, and noise can
// change what the controller writes.
class CScriptedSimLine {
public:
    explicit CScriptedSimLine(std::shared_ptr<CScriptedLine> line);
    CSimAnalyser& Add(unsigned node);
    CSimAnalyser& At(unsigned node) { return m_nodes.at(node); }
    const SimAnalyserState& State(unsigned node) const { return m_nodes.at(node).GetState(); }
    // Changes the node's state through fn; false when the analyser refuses the result.
    bool Change(unsigned node, const std::function<void(SimAnalyserState&)>& fn);
    void Mute(unsigned node, unsigned char code) { m_muted.insert({node, code}); }
    void Unmute(unsigned node, unsigned char code) { m_muted.erase({node, code}); }
    // Noise changes each write before the analysers hear it and the line echoes it.
    void SetNoise(std::function<void(std::vector<std::uint8_t>&)> noise);

    // Node IDs of every request written to the line, in order.
    std::vector<unsigned> RequestedNodes() const;
    // Request codes written to one node, in order.
    std::vector<unsigned> RequestCodes(unsigned node) const;

private:
    void Respond(CScriptedLine& line, const std::vector<std::uint8_t>& bytes);

    std::shared_ptr<CScriptedLine> m_pLine;
    std::map<unsigned, CSimAnalyser> m_nodes;
    std::set<std::pair<unsigned, unsigned char>> m_muted;
    std::function<void(std::vector<std::uint8_t>&)> m_noise;
};
