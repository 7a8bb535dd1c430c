#pragma once

#include <cstdint>

// A point of a curve or batch: x the sample or entry index, y the 12-bit value.
struct tagPOINT {
    std::int32_t x;
    std::int32_t y;
};
using POINT = tagPOINT;
