#include "testsupport/LoggerPeer.h"

#include "testsupport/ScriptedLine.h"

#include <utility>

namespace {

// Reply codes of the simple commands, as the logger and the jig send them.
const std::map<std::uint8_t, std::uint8_t> kReplyCodes = {
    {0x01, 0x93}, {0x02, 0x9B}, {0x03, 0x97}, {0x04, 0x98}, {0x05, 0x99}, {0x06, 0x94},
    {0x07, 0x95}, {0x08, 0x96}, {0x09, 0x92}, {0x0B, 0x9C}, {0x0C, 0x9D}, {0x0D, 0x9E},
    {0x0E, 0x9F}, {0x0F, 0xA0}, {0x10, 0xA1}, {0x11, 0xA2}, {0x12, 0xA3}, {0x13, 0xA4},
    {0x14, 0x94}, {0x16, 0xA5}, {0x17, 0xA6}, {0x18, 0xA7}, {0x19, 0xA8}, {0x1A, 0xA9},
    {0x1B, 0xB0}, {0x1C, 0xB3}, {0x1E, 0xB6}, {0x1F, 0xB7}, {0x20, 0xB8}, {0x21, 0xB9},
    {0x22, 0xBA}, {0x30, 0xC0}, {0x31, 0xC1}, {0x34, 0xC4}, {0x50, 0x60}, {0x51, 0x61},
    {0x52, 0x62}, {0x53, 0x63}, {0x54, 0x64}, {0x55, 0x65}, {0x56, 0x66}, {0x57, 0x67},
    {0x5A, 0x6A}, {0x5B, 0x6B}, {0x5C, 0x6C}, {0x5D, 0x6D}, {0xD1, 0x99}, {0x33, 0xC3},
};

void PutWord(Bytes& out, std::uint16_t word) {
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
}

} // namespace

std::uint16_t PeerManchester(std::uint8_t byte) {
    static const std::uint16_t kPairs[2] = {0x1, 0x2};
    std::uint16_t word = 0;
    for (int bit = 0; bit < 8; ++bit) {
        word = static_cast<std::uint16_t>(word | kPairs[(byte >> bit) & 1] << (2 * bit));
    }
    return word;
}

std::uint8_t PeerUnManchester(std::uint16_t word) {
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (((word >> (2 * bit)) & 3) == 2) {
            byte = static_cast<std::uint8_t>(byte | 1 << bit);
        }
    }
    return byte;
}

Bytes VaskFrame(std::uint8_t id, const Bytes& payload, std::uint8_t handshake,
                bool damageChecksum) {
    Bytes out = {0xFF, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55,
                 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x01, 0x7F};
    out.push_back(id);
    PutWord(out, PeerManchester(static_cast<std::uint8_t>(payload.size())));
    unsigned sum = id;
    for (std::uint8_t b : payload) {
        PutWord(out, PeerManchester(b));
        sum += b;
    }
    std::uint8_t check = static_cast<std::uint8_t>(handshake | (sum & 0x7F));
    if (damageChecksum) {
        check ^= 0x01;
    }
    PutWord(out, PeerManchester(check));
    return out;
}

Bytes SerialFrame(const Bytes& payload, std::uint8_t handshake, bool damageChecksum) {
    Bytes out = {0x3C, static_cast<std::uint8_t>(payload.size())};
    unsigned sum = 0;
    for (std::uint8_t b : payload) {
        out.push_back(b);
        sum += b;
    }
    std::uint8_t check = static_cast<std::uint8_t>(handshake | (sum & 0x7F));
    if (damageChecksum) {
        check ^= 0x01;
    }
    out.push_back(check);
    return out;
}

CLoggerPeer::CLoggerPeer(bool vask, std::uint8_t packetID) : m_bVask(vask), m_nPacketID(packetID) {}

void CLoggerPeer::SetSettings(const std::uint16_t (&values)[9]) {
    for (int i = 0; i < 9; ++i) {
        m_settings[i] = values[i];
    }
}

void CLoggerPeer::AddFaults(int count, const Fault& fault) {
    for (int i = 0; i < count; ++i) {
        m_faults.push_back(fault);
    }
}

Bytes CLoggerPeer::Frame(const Bytes& payload, std::uint8_t handshake, bool damage) const {
    return m_bVask ? VaskFrame(m_nPacketID, payload, handshake, damage)
                   : SerialFrame(payload, handshake, damage);
}

std::vector<Bytes> CLoggerPeer::Commands() const {
    std::vector<Bytes> out;
    for (const Request& r : m_requests) {
        out.push_back(r.payload);
    }
    return out;
}

bool CLoggerPeer::NextFrame(Request& request) {
    for (;;) {
        if (m_bVask) {
            // Hunt the end of the preamble, then wait for the whole frame.
            std::size_t i = 0;
            while (i + 1 < m_input.size() && !(m_input[i] == 0x01 && m_input[i + 1] == 0x7F)) {
                ++i;
            }
            if (i + 1 >= m_input.size()) {
                return false;
            }
            const std::size_t start = i + 2;
            if (m_input.size() < start + 3) {
                return false;
            }
            const std::uint8_t id = m_input[start];
            const std::size_t n = PeerUnManchester(
                static_cast<std::uint16_t>(m_input[start + 1] | m_input[start + 2] << 8));
            const std::size_t end = start + 3 + 2 * (n + 1);
            if (m_input.size() < end) {
                return false;
            }
            request.nPacketID = id;
            request.payload.clear();
            unsigned sum = id;
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t at = start + 3 + 2 * k;
                request.payload.push_back(PeerUnManchester(
                    static_cast<std::uint16_t>(m_input[at] | m_input[at + 1] << 8)));
                sum += request.payload.back();
            }
            const std::size_t at = start + 3 + 2 * n;
            const std::uint8_t check =
                PeerUnManchester(static_cast<std::uint16_t>(m_input[at] | m_input[at + 1] << 8));
            m_input.erase(m_input.begin(), m_input.begin() + static_cast<long>(end));
            request.nHandshake = check & 0x80;
            if (((sum ^ check) & 0x7F) == 0) {
                return true;
            }
        } else {
            std::size_t i = 0;
            while (i < m_input.size() && m_input[i] != 0x3C) {
                ++i;
            }
            m_input.erase(m_input.begin(), m_input.begin() + static_cast<long>(i));
            if (m_input.size() < 2) {
                return false;
            }
            const std::size_t n = m_input[1];
            if (m_input.size() < n + 3) {
                return false;
            }
            request.nPacketID = 0;
            request.payload.assign(m_input.begin() + 2, m_input.begin() + 2 + static_cast<long>(n));
            unsigned sum = 0;
            for (std::uint8_t b : request.payload) {
                sum += b;
            }
            const std::uint8_t check = m_input[n + 2];
            m_input.erase(m_input.begin(), m_input.begin() + static_cast<long>(n + 3));
            request.nHandshake = check & 0x80;
            if (((sum ^ check) & 0x7F) == 0) {
                return true;
            }
        }
    }
}

Bytes CLoggerPeer::ReplyFor(const Request& request) {
    const Bytes& p = request.payload;
    if (p.empty()) {
        return {};
    }
    const std::uint8_t command = p[0];
    const std::uint16_t argument = p.size() >= 3 ? static_cast<std::uint16_t>(p[1] << 8 | p[2]) : 0;
    switch (command) {
    case 0xD0:
    case 0xD2:
        return {}; // stream acknowledgements are not answered
    case 0x1D:
        return m_buffer;
    case 0x32: {
        Bytes reply = {0xC2};
        for (std::uint16_t v : m_settings) {
            reply.push_back(static_cast<std::uint8_t>(v >> 8));
            reply.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
        return reply;
    }
    case 0x58:
    case 0x59: {
        Bytes reply = {static_cast<std::uint8_t>(command + 0x10)};
        reply.insert(reply.end(), m_stamps.begin(), m_stamps.end());
        return reply;
    }
    default:
        break;
    }
    auto code = kReplyCodes.find(command);
    if (code == kReplyCodes.end()) {
        return {};
    }
    auto known = m_values.find(command);
    const std::uint16_t value = known != m_values.end() ? known->second : argument;
    return {code->second, static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value & 0xFF)};
}

Bytes CLoggerPeer::Take(const Bytes& fromHost) {
    m_input.insert(m_input.end(), fromHost.begin(), fromHost.end());
    Bytes out;
    Request request;
    while (NextFrame(request)) {
        for (const Bytes& part : Answer(request)) {
            out.insert(out.end(), part.begin(), part.end());
        }
    }
    return out;
}

std::vector<Bytes> CLoggerPeer::Answer(const Request& request) {
    if (m_bVask && request.nPacketID != m_nPacketID) {
        return {}; // another station's business
    }
    m_requests.push_back(request);
    Fault fault;
    if (!m_faults.empty()) {
        fault = m_faults.front();
        m_faults.pop_front();
    }
    Bytes payload = fault.payload.empty() ? ReplyFor(request) : fault.payload;
    if (fault.bSilent || payload.empty()) {
        return {};
    }
    ++m_nReplies;
    std::uint8_t handshake = request.nHandshake;
    if (fault.bOtherHandshake) {
        handshake ^= 0x80;
    }
    std::vector<Bytes> parts;
    for (int i = 0; i < fault.nForeignBefore; ++i) {
        parts.push_back(
            VaskFrame(static_cast<std::uint8_t>(m_nPacketID ^ 0x0F), {0xC2, 1, 2}, handshake));
    }
    Bytes own = Frame(payload, handshake, fault.bBadChecksum);
    if (fault.bTruncate) {
        own.resize(own.size() / 2);
    }
    parts.push_back(own);
    parts.front().insert(parts.front().begin(), fault.noiseBefore.begin(), fault.noiseBefore.end());
    return parts;
}

void CLoggerPeer::Attach(CScriptedLine& line, std::uint32_t delayMs) {
    line.SetResponder([this, delayMs](CScriptedLine& l, const Bytes& written) {
        m_input.insert(m_input.end(), written.begin(), written.end());
        Request request;
        while (NextFrame(request)) {
            // Frames arrive apart, so that the host's purge after a foreign frame leaves the
            // ones behind it alone.
            std::uint32_t when = delayMs;
            for (const Bytes& part : Answer(request)) {
                l.Feed(part, when);
                when += m_nSpacingMs;
            }
        }
    });
}
