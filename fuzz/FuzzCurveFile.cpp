// The .cur file as the program and zarnctl read it, against the harness's own reading of the
// layout, and written back byte for byte.
#include "FuzzSupport.h"

#include "base/Archive.h"
#include "base/CodePage.h"
#include "records/CurveFile.h"
#include "records/CurveRecord.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CCurveRecord doc;
    bool read = true;
    try {
        CArchive ar(data, size);
        CCurveFile::Load(ar, doc);
    } catch (const CArchiveException&) {
        read = false;
    }
    // The title, 501 points of force and reference (x and y each), the node ID, the station
    // name, five zone positions and the peak force; nothing after them.
    CFuzzReader r(data, size);
    std::string title, station;
    std::int32_t values[501][4] = {};
    std::int32_t node = 0, zones[5] = {}, peak = 0;
    bool own = r.Text(title);
    for (auto& v : values) {
        own = own && r.Number(v[0]) && r.Number(v[1]) && r.Number(v[2]) && r.Number(v[3]);
    }
    own = own && r.Number(node) && r.Text(station);
    for (auto& z : zones) {
        own = own && r.Number(z);
    }
    own = own && r.Number(peak) && r.Remaining() == 0;
    FUZZ_CHECK(read == own);
    if (!read) {
        return 0;
    }
    FUZZ_CHECK(doc.m_strTitle == Cp1252ToUtf8(title));
    FUZZ_CHECK(doc.m_strStation == Cp1252ToUtf8(station));
    FUZZ_CHECK(doc.m_nNodeID == node && doc.m_nPeakForce == peak);
    FUZZ_CHECK(std::memcmp(doc.m_nZoneInfo, zones, sizeof zones) == 0);
    for (std::size_t i = 0; i < 501; ++i) {
        FUZZ_CHECK(doc.m_pForce[i].x == values[i][0] && doc.m_pForce[i].y == values[i][1]);
        FUZZ_CHECK(doc.m_pReference[i].x == values[i][2] && doc.m_pReference[i].y == values[i][3]);
    }
    // Saved again, it reads back the same.
    std::vector<std::uint8_t> stored;
    CArchive out(&stored);
    CCurveFile::Store(out, doc);
    CCurveRecord again;
    CArchive in(stored);
    CCurveFile::Load(in, again);
    FUZZ_CHECK(again.m_strTitle == doc.m_strTitle && again.m_strStation == doc.m_strStation &&
               again.m_nNodeID == node && again.m_nPeakForce == peak &&
               std::memcmp(again.m_nZoneInfo, zones, sizeof zones) == 0);
    for (std::size_t i = 0; i < 501; ++i) {
        FUZZ_CHECK(again.m_pForce[i].x == values[i][0] && again.m_pForce[i].y == values[i][1] &&
                   again.m_pReference[i].x == values[i][2] &&
                   again.m_pReference[i].y == values[i][3]);
    }
    return 0;
}
