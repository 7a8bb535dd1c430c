#pragma once

#include "base/Export.h"

#include <cstdint>

// The 8-byte analyser network packet, sent and received byte for byte in this order.
struct COAXNWKPACKET {
    unsigned char start;   // 0xFF from the controller; not examined in replies
    unsigned char dest;    // addressee's node ID (0: the controller)
    unsigned char code;    // request or reply code
    unsigned char src;     // sender's node ID
    unsigned char data_lo; // 16-bit data value, low byte first
    unsigned char data_hi;
    unsigned char csum; // additive checksum of bytes 1 to 5
    unsigned char lrc;  // rotating check of bytes 1 to 6
};
static_assert(sizeof(COAXNWKPACKET) == 8, "a packet is 8 bytes on the wire");

// Reply codes shared by several commands.
constexpr unsigned char ZARN_ACK = 0x80;
constexpr unsigned char ZARN_END = 0x84;
constexpr unsigned char ZARN_PASS_COUNT = 0x85;
constexpr unsigned char ZARN_FAIL_COUNT = 0x86;
constexpr unsigned char ZARN_START = 0xFF;
constexpr unsigned char ZARN_CONTROLLER = 0;

// The two check bytes, for both ends of the line.
LINTARO_API unsigned char ZarnChecksum(const COAXNWKPACKET& packet);
LINTARO_API unsigned char ZarnRotatingCheck(const COAXNWKPACKET& packet);

// A complete packet with both check bytes in place.
LINTARO_API COAXNWKPACKET MakeZarnPacket(unsigned char dest, unsigned char code, unsigned char src,
                                         std::uint16_t data);

inline std::uint16_t ZarnData(const COAXNWKPACKET& p) {
    return static_cast<std::uint16_t>(p.data_hi << 8 | p.data_lo);
}
