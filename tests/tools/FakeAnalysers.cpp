#include "tests/tools/FakeAnalysers.h"

#include "network/ZarnPacket.h"

#include <cstring>

namespace {

void Append(std::vector<std::uint8_t>& out, unsigned node, unsigned char code, std::uint16_t v) {
    const COAXNWKPACKET p = MakeZarnPacket(0, code, static_cast<unsigned char>(node), v);
    const auto* b = reinterpret_cast<const std::uint8_t*>(&p);
    out.insert(out.end(), b, b + sizeof p);
}

} // namespace

CFakeAnalysers::CFakeAnalysers(std::shared_ptr<CScriptedLine> line) : m_pLine(std::move(line)) {
    m_pLine->SetEcho(true);
    m_pLine->SetResponder(
        [this](CScriptedLine& l, const std::vector<std::uint8_t>& bytes) { Respond(l, bytes); });
}

CFakeAnalyser& CFakeAnalysers::Add(unsigned node) {
    return m_nodes[node];
}

void CFakeAnalysers::SetNoise(std::function<void(std::vector<std::uint8_t>&)> noise) {
    m_noise = std::move(noise);
    m_pLine->SetEcho(!m_noise);
}

std::vector<unsigned> CFakeAnalysers::RequestedNodes() const {
    std::vector<unsigned> nodes;
    const std::vector<std::uint8_t> w = m_pLine->Written();
    for (std::size_t i = 0; i + 8 <= w.size(); i += 8) {
        nodes.push_back(w[i + 1]);
    }
    return nodes;
}

std::vector<unsigned> CFakeAnalysers::RequestCodes(unsigned node) const {
    std::vector<unsigned> codes;
    const std::vector<std::uint8_t> w = m_pLine->Written();
    for (std::size_t i = 0; i + 8 <= w.size(); i += 8) {
        if (w[i + 1] == node) {
            codes.push_back(w[i + 2]);
        }
    }
    return codes;
}

void CFakeAnalysers::Respond(CScriptedLine& line, const std::vector<std::uint8_t>& written) {
    std::vector<std::uint8_t> bytes = written;
    if (m_noise) {
        m_noise(bytes);
        line.Feed(bytes);
    }
    if (bytes.size() != 8) {
        return;
    }
    COAXNWKPACKET req;
    std::memcpy(&req, bytes.data(), sizeof req);
    auto it = m_nodes.find(req.dest);
    if (it == m_nodes.end() || it->second.m_bSilent) {
        return;
    }
    CFakeAnalyser& a = it->second;
    const unsigned node = req.dest;
    const std::uint16_t value = ZarnData(req);
    std::vector<std::uint8_t> reply;
    auto ack = [&] { Append(reply, node, a.m_nAckCode, 0); };
    switch (req.code) {
    case 1:
        ack();
        break;
    case 2:
    case 3: {
        const auto& curve = req.code == 2 ? a.m_curve : a.m_reference;
        for (std::uint16_t y : curve) {
            Append(reply, node, 0x01, y);
        }
        Append(reply, node, 0x84, static_cast<std::uint16_t>(a.m_nCurveEnd));
        break;
    }
    case 4:
        for (std::uint16_t y : a.m_batch) {
            Append(reply, node, 0x01, y);
        }
        Append(reply, node, 0x84, static_cast<std::uint16_t>(a.m_batch.size()));
        break;
    case 5:
        a.m_batch.clear();
        ++a.m_nResets;
        ack();
        break;
    case 6:
        Append(reply, node, 0x85, a.m_nPass);
        Append(reply, node, 0x86, a.m_nFail);
        break;
    case 7:
        ++a.m_nNewReferences;
        ack();
        break;
    case 19:
        a.m_nTeach = value;
        ack();
        break;
    case 29:
        Append(reply, node, req.code, a.m_nPeak);
        break;
    case 66:
        Append(reply, node, req.code, a.m_nBLO);
        break;
    case 67:
        a.m_nBLO = value;
        ack();
        break;
    case 68:
        Append(reply, node, req.code, a.m_nTFactor);
        break;
    case 69:
        a.m_nTFactor = value;
        ack();
        break;
    case 70:
        Append(reply, node, req.code, a.m_nDFactor);
        break;
    case 71:
        a.m_nDFactor = value;
        ack();
        break;
    case 72:
        Append(reply, node, req.code, a.m_nSFactor);
        break;
    case 73:
        a.m_nSFactor = value;
        ack();
        break;
    case 74:
        if (a.m_bStatsSilent) {
            return;
        }
        for (int i = 0; i < 8; ++i) {
            Append(reply, node, i == 7 ? a.m_nStatsEndCode : 0x01, a.m_stats[i]);
        }
        break;
    default:
        if (req.code >= 50 && req.code <= 54) {
            Append(reply, node, req.code, a.m_zones[req.code - 50]);
        } else if (req.code >= 55 && req.code <= 62) {
            Append(reply, node, req.code, a.m_results[req.code - 55]);
        }
        break;
    }
    if (!reply.empty()) {
        line.Feed(reply);
    }
}
