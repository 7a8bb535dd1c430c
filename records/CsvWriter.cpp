#include "records/CsvWriter.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string>

std::string CCsvWriter::Quote(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + "\"";
}

void CCsvWriter::Separate() {
    if (m_bRowStarted) {
        m_out << ',';
    }
    m_bRowStarted = true;
}

CCsvWriter& CCsvWriter::Field(std::string_view text) {
    Separate();
    m_out << Quote(text);
    return *this;
}

CCsvWriter& CCsvWriter::Int(long long value) {
    Separate();
    m_out << std::to_string(value);
    return *this;
}

CCsvWriter& CCsvWriter::Decimal(double value, int decimals) {
    Separate();
    if (!std::isfinite(value)) {
        return *this;
    }
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec == std::errc()) {
        std::string text(buffer, end);
        if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') {
            text.erase(0, 1); // "-0.0" reads as another number than 0
        }
        m_out << text;
    }
    return *this;
}

CCsvWriter& CCsvWriter::Empty() {
    Separate();
    return *this;
}

CCsvWriter& CCsvWriter::EndRow() {
    m_out << "\r\n";
    m_bRowStarted = false;
    return *this;
}
