#pragma once

#include "records/BatchRecord.h"

#include <cstdint>
#include <string>
#include <vector>

class CArchive;

// The .buf file: the title, the entry count (16-bit), the limit line (32-bit), the maximum of
// the statistics (16-bit), then each entry's x and y (32-bit each); little-endian, the title
// with the archive's length prefix in the 8-bit code page. Nothing else of the statistics.
class CBatchFile {
public:
    // Store refuses (CArchiveException) more entries than a batch file holds. Load throws
    // CArchiveException on damaged data: more than kCapacity entries, or anything but exactly
    // the announced entries after the head. Loading sets only the title, the entries, the
    // limit line and m_stats.m_nMax.
    static void Store(CArchive& ar, const CBatchRecord& batch);
    static void Load(CArchive& ar, CBatchRecord& batch);

    static std::vector<std::uint8_t> ToBytes(const CBatchRecord& batch);
    static bool FromBytes(const std::vector<std::uint8_t>& bytes, CBatchRecord& batch,
                          std::string* reason);

    static bool ReadFile(const std::string& path, CBatchRecord& batch, std::string* reason);
    static bool WriteFile(const std::string& path, const CBatchRecord& batch, std::string* reason);
};
