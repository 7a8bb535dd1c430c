#include "sim/PacketAssembler.h"

#include <cstring>

namespace {
// Noise that never lines up must not pile up without end.
constexpr std::size_t kMaxPending = 4096;
} // namespace

void CPacketAssembler::Feed(const unsigned char* data, std::size_t count) {
    m_buffer.insert(m_buffer.end(), data, data + count);
    if (m_buffer.size() > kMaxPending) {
        m_buffer.erase(m_buffer.begin(),
                       m_buffer.end() - static_cast<std::ptrdiff_t>(sizeof(COAXNWKPACKET)));
    }
}

bool CPacketAssembler::Next(COAXNWKPACKET& packet) {
    std::size_t skip = 0;
    bool found = false;
    while (m_buffer.size() - skip >= sizeof packet) {
        if (m_buffer[skip] == ZARN_START) {
            std::memcpy(&packet, m_buffer.data() + skip, sizeof packet);
            if (ZarnChecksum(packet) == packet.csum && ZarnRotatingCheck(packet) == packet.lrc) {
                found = true;
                break;
            }
        }
        ++skip;
    }
    // Bytes ahead of a possible packet start are kept only while a packet could still begin there.
    if (!found) {
        while (skip < m_buffer.size() && m_buffer[skip] != ZARN_START) {
            ++skip;
        }
    }
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(skip));
    if (found) {
        m_buffer.erase(m_buffer.begin(),
                       m_buffer.begin() + static_cast<std::ptrdiff_t>(sizeof packet));
    }
    return found;
}
