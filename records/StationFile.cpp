#include "records/StationFile.h"

#include "base/Archive.h"
#include "base/FileIO.h"

namespace StationFile {

bool Load(const std::vector<std::uint8_t>& data, PressList& presses) {
    CArchive ar(data);
    try {
        std::uint32_t count;
        ar >> count;
        for (std::uint32_t i = 0; i < count; ++i) {
            CArchive::ObjectTag tag = ar.ReadObjectTag();
            // A null entry or an earlier object ends the list here.
            if (tag.kind != CArchive::ObjectTag::newObject) {
                return false;
            }
            if (tag.strClass != CPress::kClassName || tag.nSchema != CPress::kSchema) {
                return false;
            }
            auto press = std::make_unique<CPress>();
            press->Serialize(ar);
            presses.push_back(std::move(press));
        }
    } catch (const CArchiveException&) {
        return false;
    }
    return true;
}

std::vector<std::uint8_t> Store(const PressList& presses) {
    std::vector<std::uint8_t> data;
    CArchive ar(&data);
    ar << static_cast<std::uint32_t>(presses.size());
    for (const auto& press : presses) {
        ar.WriteObjectTag(CPress::kClassName, CPress::kSchema);
        press->Serialize(ar);
    }
    return data;
}

PressList DefaultNetwork() {
    PressList presses;
    for (int column = 0; column < 6; ++column) {
        const int x = 50 + 64 * column;
        const int top = column + 1;
        const int bottom = column + 7;
        presses.push_back(
            std::make_unique<CPress>("Station " + std::to_string(top), CPoint{x, 50}, top));
        presses.push_back(
            std::make_unique<CPress>("Station " + std::to_string(bottom), CPoint{x, 155}, bottom));
    }
    return presses;
}

bool ReadFile(const std::string& path, PressList& presses) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data)) {
        return false;
    }
    Load(data, presses);
    return true;
}

bool WriteFile(const std::string& path, const PressList& presses) {
    std::vector<std::uint8_t> data;
    try {
        data = Store(presses);
    } catch (const CArchiveException&) {
        return false;
    }
    return WriteFileAtomically(path, data);
}

} // namespace StationFile
