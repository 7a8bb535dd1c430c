#pragma once

#include <cstdint>
#include <vector>

class CArchive;

// The statistics window's list file ("statswnd.vlm"): the number of rows, then each row's
// node ID, all signed 32-bit little-endian, without a header. An empty file is an empty list.
class CStatsListFile {
public:
    static void Write(CArchive& ar, const std::vector<std::int32_t>& nodeIDs);
    // Appends the node IDs read; a count of 0 or less reads nothing more. A file cut short
    // throws the archive's exception.
    static void Read(CArchive& ar, std::vector<std::uint32_t>& nodeIDs);
};
