#pragma once

#include "records/CurveRecord.h"

#include <cstdint>
#include <string>
#include <vector>

class CArchive;

// The .cur file: the title, both curves interleaved point by point (501 each), the node ID,
// the station name, the five zone values and the peak force; little-endian, texts with the
// archive's length prefix in the 8-bit code page. Results, counts and the time are not in it.
class CCurveFile {
public:
    // Store writes the record's title as it is. Load reads into the record field by field and
    // throws CArchiveException on damaged data; the archive must hold exactly one curve.
    static void Store(CArchive& ar, const CCurveRecord& curve);
    static void Load(CArchive& ar, CCurveRecord& curve);

    static std::vector<std::uint8_t> ToBytes(const CCurveRecord& curve);
    // False with the reason for damaged data; the record is then unchanged.
    static bool FromBytes(const std::vector<std::uint8_t>& bytes, CCurveRecord& curve,
                          std::string* reason);

    // Whole files, written safely (a temporary file renamed over the target).
    static bool ReadFile(const std::string& path, CCurveRecord& curve, std::string* reason);
    static bool WriteFile(const std::string& path, const CCurveRecord& curve, std::string* reason);
};
