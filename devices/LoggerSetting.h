#pragma once

#include <cstdint>

// The data logger's settings block as the logger keeps it: one byte, then nine 16-bit values
// whose meaning is the logger's. Packed, 19 bytes, no gaps.
#pragma pack(push, 1)
struct LOGGER_SETTING {
    std::uint8_t byHeader;
    std::uint16_t wValue[9];
};
#pragma pack(pop)
static_assert(sizeof(LOGGER_SETTING) == 19, "the settings block is 19 bytes");
