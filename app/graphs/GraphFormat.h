#pragma once

#include <string>

// Texts of the curve and batch windows: printf-style formats and the time of a download.
class CGraphFormat {
public:
    static std::string Format(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
    // The local date and time as the user's locale writes it.
    static std::string DateTimeNow();
};
