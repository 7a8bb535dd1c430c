#include "tests/tools/ScriptedSimLine.h"

#include <cstring>

CScriptedSimLine::CScriptedSimLine(std::shared_ptr<CScriptedLine> line) : m_pLine(std::move(line)) {
    m_pLine->SetEcho(true);
    m_pLine->SetResponder(
        [this](CScriptedLine& l, const std::vector<std::uint8_t>& bytes) { Respond(l, bytes); });
}

CSimAnalyser& CScriptedSimLine::Add(unsigned node) {
    return m_nodes.try_emplace(node, static_cast<int>(node), 1u).first->second;
}

bool CScriptedSimLine::Change(unsigned node, const std::function<void(SimAnalyserState&)>& fn) {
    SimAnalyserState state = State(node);
    fn(state);
    return At(node).SetState(state);
}

void CScriptedSimLine::SetNoise(std::function<void(std::vector<std::uint8_t>&)> noise) {
    m_noise = std::move(noise);
    m_pLine->SetEcho(!m_noise);
}

std::vector<unsigned> CScriptedSimLine::RequestedNodes() const {
    std::vector<unsigned> nodes;
    const std::vector<std::uint8_t> w = m_pLine->Written();
    for (std::size_t i = 0; i + 8 <= w.size(); i += 8) {
        nodes.push_back(w[i + 1]);
    }
    return nodes;
}

std::vector<unsigned> CScriptedSimLine::RequestCodes(unsigned node) const {
    std::vector<unsigned> codes;
    const std::vector<std::uint8_t> w = m_pLine->Written();
    for (std::size_t i = 0; i + 8 <= w.size(); i += 8) {
        if (w[i + 1] == node) {
            codes.push_back(w[i + 2]);
        }
    }
    return codes;
}

void CScriptedSimLine::Respond(CScriptedLine& line, const std::vector<std::uint8_t>& written) {
    std::vector<std::uint8_t> bytes = written;
    if (m_noise) {
        m_noise(bytes);
        line.Feed(bytes);
    }
    COAXNWKPACKET request;
    if (bytes.size() != sizeof request) {
        return;
    }
    std::memcpy(&request, bytes.data(), sizeof request);
    const auto it = m_nodes.find(request.dest);
    SimReply reply;
    if (it == m_nodes.end() || m_muted.count({request.dest, request.code}) != 0 ||
        !it->second.Answer(request, reply)) {
        return;
    }
    line.Feed(reply.bytes, reply.nDelayMs);
}
