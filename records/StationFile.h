#pragma once

#include "records/Press.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using PressList = std::vector<std::unique_ptr<CPress>>;

// The station file: a count, then each station with its object tag and fields.
namespace StationFile {

constexpr const char* kFileName = "pressinfo.vlm";

// Reads stations until the count is reached or the data is damaged; the stations read
// completely before any damage are kept. True when the whole file was read cleanly.
bool Load(const std::vector<std::uint8_t>& data, PressList& presses);
std::vector<std::uint8_t> Store(const PressList& presses);

// The layout a first run gets: twelve stations in two rows.
PressList DefaultNetwork();

// Reading and writing the file itself. A missing or unreadable file reads as false with the
// list untouched; writing goes through a temporary file, so a failure keeps the old file.
bool ReadFile(const std::string& path, PressList& presses);
bool WriteFile(const std::string& path, const PressList& presses);

} // namespace StationFile
