#pragma once

#include "base/Archive.h"
#include "base/ArchiveException.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the .cur and .buf layouts share around their Store and Load: bytes in memory, a whole
// file read, and an atomic write, each failure with its reason.
namespace LayoutFile {

template <class Record>
std::vector<std::uint8_t> ToBytes(void (*store)(CArchive&, const Record&), const Record& record) {
    std::vector<std::uint8_t> bytes;
    CArchive ar(&bytes);
    store(ar, record);
    return bytes;
}

// Loads whole before anything is taken over: bytes that are not the layout leave the record
// as it was. `what` names the layout in the reason ("not a curve file (...)").
template <class Record>
bool FromBytes(void (*load)(CArchive&, Record&), const char* what,
               const std::vector<std::uint8_t>& bytes, Record& record, std::string* reason) {
    Record loaded;
    try {
        CArchive ar(bytes);
        load(ar, loaded);
    } catch (const CArchiveException& e) {
        if (reason != nullptr) {
            *reason = std::string("not a ") + what + " (" + e.what() + ")";
        }
        return false;
    }
    record = std::move(loaded);
    return true;
}

// The file's bytes; false with the system's reason.
bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* reason);

// The bytes written atomically; false with the system's reason.
bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::string* reason);

// Stores the record and writes the file atomically; false with the reason (a record the layout
// refuses, or the system's).
template <class Record>
bool Write(void (*store)(CArchive&, const Record&), const std::string& path, const Record& record,
           std::string* reason) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ToBytes(store, record);
    } catch (const CArchiveException& e) {
        if (reason != nullptr) {
            *reason = e.what();
        }
        return false;
    }
    return WriteBytes(path, bytes, reason);
}

} // namespace LayoutFile
