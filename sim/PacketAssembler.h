#pragma once

#include "network/ZarnPacket.h"

#include <cstddef>
#include <vector>

// Gathers the bytes the controller writes into whole request packets. A packet starts with the
// start byte and must carry both check bytes right; anything else is line noise and is dropped
// a byte at a time until the stream lines up with a packet again.
class CPacketAssembler {
public:
    void Feed(const unsigned char* data, std::size_t count);
    // The next whole packet, if one has arrived.
    bool Next(COAXNWKPACKET& packet);
    void Clear() { m_buffer.clear(); }
    std::size_t Pending() const { return m_buffer.size(); }

private:
    std::vector<unsigned char> m_buffer;
};
