// The station file against the harness's own reading of the layout, and written back.
#include "FuzzSupport.h"

#include "base/CodePage.h"
#include "records/StationFile.h"

#include <vector>

namespace {

struct Station {
    std::int32_t nNode = 0, nTeach = 0, rect[4] = {};
    std::uint32_t nReserved = 0;
    std::uint64_t factors[3] = {}; // S, D, T as stored bits
    std::string strName, strTerminal, strWire, strSerial;
};

// The count, then stations each introduced by an object tag: the first by the description of
// class "CPress" schema 1, later ones by a reference to that class. Tags share one running
// index with the objects (index 0 is the null object).
bool ReadOwn(const std::uint8_t* data, std::size_t size, std::vector<Station>& stations) {
    CFuzzReader r(data, size);
    std::uint32_t count = 0;
    if (!r.Number(count)) {
        return false;
    }
    std::uint32_t next = 1;
    std::vector<std::uint32_t> pressClasses; // indices of descriptions of CPress schema 1
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t tag = 0;
        if (!r.Number(tag)) {
            return false;
        }
        if (tag == 0xFFFF) {
            std::uint16_t schema = 0, length = 0;
            const std::uint8_t* name = nullptr;
            if (!r.Number(schema) || !r.Number(length) || length == 0 || length > 64 ||
                !r.Take(length, name)) {
                return false;
            }
            if (std::string(reinterpret_cast<const char*>(name), length) != "CPress" ||
                schema != 1) {
                return false;
            }
            pressClasses.push_back(next);
            next += 2;
        } else {
            std::uint32_t value = tag;
            bool isClass = tag & 0x8000;
            if (tag == 0x7FFF) {
                if (!r.Number(value)) {
                    return false;
                }
                isClass = value & 0x80000000u;
                value &= 0x7FFFFFFFu;
            } else {
                value &= 0x7FFFu;
            }
            // A null entry, an earlier object or any other class ends the list.
            if (!isClass ||
                std::find(pressClasses.begin(), pressClasses.end(), value) == pressClasses.end()) {
                return false;
            }
            ++next;
        }
        Station s;
        if (!r.Number(s.nNode) || !r.Text(s.strName) || !r.Text(s.strTerminal) ||
            !r.Text(s.strWire) || !r.Number(s.factors[0]) || !r.Number(s.factors[1]) ||
            !r.Number(s.factors[2]) || !r.Number(s.nTeach) || !r.Number(s.rect[0]) ||
            !r.Number(s.rect[1]) || !r.Number(s.rect[2]) || !r.Number(s.rect[3]) ||
            !r.Number(s.nReserved) || !r.Text(s.strSerial)) {
            return false;
        }
        stations.push_back(s);
    }
    return true;
}

std::uint64_t Bits(double d) {
    std::uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

bool Same(const CPress& p, const Station& s) {
    const CRect& rc = p.GetRect();
    return p.GetNodeID() == s.nNode && p.GetName() == Cp1252ToUtf8(s.strName) &&
           p.GetTerminalType() == Cp1252ToUtf8(s.strTerminal) &&
           p.GetWireType() == Cp1252ToUtf8(s.strWire) &&
           p.GetSerialNo() == Cp1252ToUtf8(s.strSerial) && Bits(p.GetSFactor()) == s.factors[0] &&
           Bits(p.GetDFactor()) == s.factors[1] && Bits(p.GetTFactor()) == s.factors[2] &&
           p.GetTeachCycles() == s.nTeach && rc.left == s.rect[0] && rc.top == s.rect[1] &&
           rc.right == s.rect[2] && rc.bottom == s.rect[3] && p.GetReserved() == s.nReserved;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PressList presses;
    const bool clean = StationFile::Load(std::vector<std::uint8_t>(data, data + size), presses);
    std::vector<Station> own;
    const bool ownClean = ReadOwn(data, size, own);
    FUZZ_CHECK(clean == ownClean);
    FUZZ_CHECK(presses.size() == own.size());
    for (std::size_t i = 0; i < own.size(); ++i) {
        FUZZ_CHECK(Same(*presses[i], own[i]));
    }
    // What was read is written whole and reads back the same, cleanly.
    const std::vector<std::uint8_t> stored = StationFile::Store(presses);
    PressList again;
    FUZZ_CHECK(StationFile::Load(stored, again));
    FUZZ_CHECK(again.size() == own.size());
    for (std::size_t i = 0; i < own.size(); ++i) {
        FUZZ_CHECK(Same(*again[i], own[i]));
    }
    return 0;
}
