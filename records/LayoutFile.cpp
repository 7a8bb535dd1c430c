#include "records/LayoutFile.h"

#include "base/FileIO.h"

#include <cerrno>
#include <cstring>

namespace LayoutFile {

bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* reason) {
    if (ReadWholeFile(path, bytes)) {
        return true;
    }
    if (reason != nullptr) {
        *reason = std::strerror(errno);
    }
    return false;
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::string* reason) {
    if (WriteFileAtomically(path, bytes)) {
        return true;
    }
    if (reason != nullptr) {
        *reason = std::strerror(errno);
    }
    return false;
}

} // namespace LayoutFile
