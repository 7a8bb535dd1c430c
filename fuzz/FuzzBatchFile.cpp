// The .buf file as the batch document reads it, against the harness's own reading of the
// layout, and written back.
#include "FuzzSupport.h"

#include "app/graphs/BatchDoc.h"
#include "base/Archive.h"
#include "base/CodePage.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBatchDoc doc;
    bool read = true;
    try {
        CArchive ar(data, size);
        doc.Serialize(ar);
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
               count <= CBatchDoc::kCapacity && r.Remaining() == std::size_t{count} * 8;
    for (unsigned i = 0; own && i < 2u * count; ++i) {
        std::int32_t v = 0;
        own = r.Number(v);
        entries.push_back(v);
    }
    FUZZ_CHECK(read == own);
    if (!read) {
        // A refused file changes nothing.
        FUZZ_CHECK(doc.m_nCount == 0);
        return 0;
    }
    FUZZ_CHECK(doc.m_strSavedTitle == Cp1252ToUtf8(title));
    FUZZ_CHECK(doc.m_nCount == count && doc.m_nLimitLine == limit && doc.m_stats.m_nMax == largest);
    for (unsigned i = 0; i < count; ++i) {
        FUZZ_CHECK(doc.m_pPoints[i].x == entries[2 * i] &&
                   doc.m_pPoints[i].y == entries[2 * i + 1]);
    }
    // Opened, a file takes its stored title; saved again, it reads back the same.
    doc.SetTitle(doc.m_strSavedTitle);
    std::vector<std::uint8_t> stored;
    CArchive out(&stored);
    doc.Serialize(out);
    CBatchDoc again;
    CArchive in(stored);
    again.Serialize(in);
    FUZZ_CHECK(again.m_strSavedTitle == doc.m_strSavedTitle && again.m_nCount == doc.m_nCount &&
               again.m_nLimitLine == doc.m_nLimitLine && again.m_stats.m_nMax == largest);
    for (unsigned i = 0; i < count; ++i) {
        FUZZ_CHECK(again.m_pPoints[i].x == entries[2 * i] &&
                   again.m_pPoints[i].y == entries[2 * i + 1]);
    }
    return 0;
}
