#pragma once

#include "base/Export.h"

#include <string>

// Conversion between UTF-8 and the 8-bit code page (Windows-1252) used in stored files.
// A character the code page cannot hold becomes '?'; malformed UTF-8 bytes become '?' too.
LINTARO_API std::string Utf8ToCp1252(const std::string& utf8);
LINTARO_API std::string Cp1252ToUtf8(const std::string& text);
