#pragma once

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

// Reads a CSV file strictly as RFC 4180 has it: every row ends in CR LF, quoted fields double
// their quotes, and a quote anywhere else is an error. False when the text breaks a rule.
inline bool ParseCsvFile(const std::string& path, std::vector<std::vector<std::string>>& rows) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    rows.clear();
    std::vector<std::string> row;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"' && field.empty()) {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    return false;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i];
            }
            if (i < text.size() && text[i] != ',' && text[i] != '\r') {
                return false;
            }
            continue;
        }
        if (text[i] == ',') {
            row.push_back(field);
            field.clear();
        } else if (text[i] == '\r') {
            if (i + 1 >= text.size() || text[i + 1] != '\n') {
                return false;
            }
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else if (text[i] == '\n' || text[i] == '"') {
            return false;
        } else {
            field += text[i];
        }
        ++i;
    }
    return row.empty() && field.empty() && !rows.empty();
}

// A number as a spreadsheet in any locale reads it: digits, a leading minus, a dot.
inline bool IsPlainNumber(const std::string& text) {
    static const std::regex number("-?[0-9]+(\\.[0-9]+)?");
    return std::regex_match(text, number);
}

inline bool IsIsoUtc(const std::string& text) {
    static const std::regex iso(
        "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\\.[0-9]{3})?Z");
    return std::regex_match(text, iso);
}

// The first bytes of a file.
inline std::string FileHead(const std::string& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    std::string head(count, '\0');
    file.read(head.data(), static_cast<std::streamsize>(count));
    head.resize(static_cast<std::size_t>(file.gcount()));
    return head;
}
