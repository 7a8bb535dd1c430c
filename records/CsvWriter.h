#pragma once

#include <iosfwd>
#include <string_view>

// Writes CSV as RFC 4180 has it: fields separated by commas, rows ended by CR LF, a field
// quoted (its quotes doubled) when it holds a comma, a quote or a line break. Texts are UTF-8;
// numbers use a dot as decimal separator whatever the locale.
class CCsvWriter {
public:
    explicit CCsvWriter(std::ostream& out) : m_out(out) {}

    CCsvWriter& Field(std::string_view text);
    CCsvWriter& Int(long long value);
    // An empty field when the value is not finite.
    CCsvWriter& Decimal(double value, int decimals);
    CCsvWriter& Empty();
    CCsvWriter& EndRow();

    static std::string Quote(std::string_view text);

private:
    void Separate();

    std::ostream& m_out;
    bool m_bRowStarted = false;
};
