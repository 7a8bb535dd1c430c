// The statistics list against the harness's own reading, and written back.
#include "FuzzSupport.h"

#include "app/stats/StatsListFile.h"
#include "base/Archive.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> ids{99}; // the list appends to what it is given
    bool clean = true;
    CArchive ar(data, size);
    try {
        CStatsListFile::Read(ar, ids);
    } catch (const CArchiveException&) {
        clean = false;
    }
    // An empty file is an empty list; otherwise a count and as many node IDs, cut short
    // wherever the file ends.
    std::vector<std::uint32_t> own{99};
    bool ownClean = true;
    CFuzzReader r(data, size);
    std::int32_t count = 0;
    if (size > 0 && !r.Number(count)) {
        ownClean = false;
    }
    for (std::int32_t i = 0; ownClean && i < count; ++i) {
        std::int32_t id = 0;
        if (!r.Number(id)) {
            ownClean = false;
        } else {
            own.push_back(static_cast<std::uint32_t>(id));
        }
    }
    FUZZ_CHECK(clean == ownClean);
    FUZZ_CHECK(ids == own);

    std::vector<std::int32_t> list;
    for (std::size_t i = 1; i < ids.size(); ++i) {
        list.push_back(static_cast<std::int32_t>(ids[i]));
    }
    std::vector<std::uint8_t> stored;
    CArchive out(&stored);
    CStatsListFile::Write(out, list);
    std::vector<std::uint32_t> back;
    CArchive in(stored);
    CStatsListFile::Read(in, back);
    FUZZ_CHECK(std::equal(back.begin(), back.end(), ids.begin() + 1, ids.end()));
    FUZZ_CHECK(back.size() + 1 == ids.size() && in.Remaining() == 0);
    return 0;
}
