#pragma once

#include "network/ZarnPort.h"
#include "testsupport/ManualClock.h"
#include "testsupport/ScriptedLine.h"

#include <cstring>
#include <deque>
#include <memory>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const COAXNWKPACKET& p) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&p);
    return Bytes(b, b + sizeof p);
}

inline Bytes BytesOf(const std::vector<COAXNWKPACKET>& packets) {
    Bytes out;
    for (const auto& p : packets) {
        Bytes b = BytesOf(p);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// A reply from an analyser to the controller.
inline COAXNWKPACKET Reply(unsigned char node, unsigned char code, std::uint16_t value) {
    return MakeZarnPacket(ZARN_CONTROLLER, code, node, value);
}

// The line and the analysers on it, as seen from the controller: every write comes back as the
// shared line's echo, and each request is answered with the next scripted reply.
class CFakeLine {
public:
    CFakeLine()
        : m_scope(m_clock), m_line(CScriptedLine::Create()), m_reg(m_line->Register("ZARN")) {
        m_line->SetResponder([this](CScriptedLine& line, const Bytes& written) {
            m_requests.push_back(written);
            Bytes echo = written;
            if (m_nCorruptEchoes > 0) {
                --m_nCorruptEchoes;
                echo[5] ^= 0x01;
            }
            if (m_bEcho) {
                line.Feed(echo);
            }
            if (!m_replies.empty()) {
                line.Feed(m_replies.front(), 2);
                m_replies.pop_front();
            }
        });
    }

    void Answer(const Bytes& bytes) { m_replies.push_back(bytes); }
    void Answer(const COAXNWKPACKET& p) { Answer(BytesOf(p)); }
    void Answer(const std::vector<COAXNWKPACKET>& packets) { Answer(BytesOf(packets)); }
    // The next request gets no reply at all.
    void Silence() { m_replies.push_back({}); }

    const std::vector<Bytes>& Requests() const { return m_requests; }
    COAXNWKPACKET Request(std::size_t i) const {
        COAXNWKPACKET p{};
        std::memcpy(&p, m_requests.at(i).data(), sizeof p);
        return p;
    }

    CManualClock m_clock{5000};
    CClockScope m_scope;
    std::shared_ptr<CScriptedLine> m_line;
    std::unique_ptr<CScriptedLine::Registration> m_reg;
    std::deque<Bytes> m_replies;
    std::vector<Bytes> m_requests;
    bool m_bEcho = true;
    int m_nCorruptEchoes = 0;
};

// Exposes the exchange's protected steps to the tests.
class CTestZarnPort : public CZarnPort {
public:
    CTestZarnPort() : CZarnPort("ZARN", 57600, 0, 0) {}
    using CZarnPort::CheckACKPacket;
    using CZarnPort::csum_of;
    using CZarnPort::GetParameter;
    using CZarnPort::lrc_of;
    using CZarnPort::ReceiveAndValidate;
    using CZarnPort::TransmitPacket;
    using CZarnPort::ValidatePacket;
};
