#pragma once

#include "base/Export.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file; false (with errno kept) when it cannot be opened or read.
LINTARO_API bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data);

// Writes a whole file safely: into a temporary file beside the target, flushed to disk, then
// renamed over it. On any failure the target keeps its old contents and false is returned.
LINTARO_API bool WriteFileAtomically(const std::string& path,
                                     const std::vector<std::uint8_t>& data);
