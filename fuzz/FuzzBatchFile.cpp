// The .buf file as the batch document reads it, against the harness's own reading of the
// layout, and written back.
#include "FuzzSupport.h"

#include "base/Archive.h"
#include "base/CodePage.h"
#include "records/BatchFile.h"
#include "records/BatchRecord.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBatchRecord doc;
    bool read = true;
    try {
        CArchive ar(data, size);
        CBatchFile::Load(ar, doc);
    } catch (const CArchiveException&) {
        read = false;
    }
    // The title, the entry count, the limit line, the largest value, then count entries of x
    // and y; at most a document's capacity, and nothing after them.
    CFuzzReader r(data, size);
    std::string title;
    std::uint16_t count = 0;
    std::int32_t limit = 0;
    std::int16_t largest = 0;
    std::vector<std::int32_t> entries;
    bool own = r.Text(title) && r.Number(count) && r.Number(limit) && r.Number(largest) &&
               count <= CBatchRecord::kCapacity && r.Remaining() == std::size_t{count} * 8;
    for (unsigned i = 0; own && i < 2u * count; ++i) {
        std::int32_t v = 0;
        own = r.Number(v);
        entries.push_back(v);
    }
    FUZZ_CHECK(read == own);
    if (!read) {
        // A refused file changes nothing.
        FUZZ_CHECK(doc.m_points.empty());
        return 0;
    }
    FUZZ_CHECK(doc.m_strTitle == Cp1252ToUtf8(title));
    FUZZ_CHECK(doc.m_points.size() == count && doc.m_nLimitLine == limit &&
               doc.m_stats.m_nMax == largest);
    for (unsigned i = 0; i < count; ++i) {
        FUZZ_CHECK(doc.m_points[i].x == entries[2 * i] && doc.m_points[i].y == entries[2 * i + 1]);
    }
    // Saved again, it reads back the same.
    std::vector<std::uint8_t> stored;
    CArchive out(&stored);
    CBatchFile::Store(out, doc);
    CBatchRecord again;
    CArchive in(stored);
    CBatchFile::Load(in, again);
    FUZZ_CHECK(again.m_strTitle == doc.m_strTitle && again.m_points.size() == doc.m_points.size() &&
               again.m_nLimitLine == doc.m_nLimitLine && again.m_stats.m_nMax == largest);
    for (unsigned i = 0; i < count; ++i) {
        FUZZ_CHECK(again.m_points[i].x == entries[2 * i] &&
                   again.m_points[i].y == entries[2 * i + 1]);
    }
    return 0;
}
