#include "app/graphs/GraphFormat.h"

#include "records/ClassicNumbers.h"

#include <QDateTime>
#include <QLocale>

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string CGraphFormat::Format(const char* pszFormat, ...) {
    const CClassicNumbers classic;
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
        text.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(args);
    return text;
}

std::string CGraphFormat::DateTimeNow() {
    return QLocale::system()
        .toString(QDateTime::currentDateTime(), QLocale::ShortFormat)
        .toStdString();
}
