#include "records/JsonWriter.h"

#include "records/TextFormat.h"

#include <cmath>

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 if it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 < 0x80) {
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        // No overlong forms and no surrogates.
        lo = b0 == 0xE0 ? 0xA0 : 0x80;
        hi = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    const auto b1 = static_cast<unsigned char>(text[i + 1]);
    if (b1 < lo || b1 > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (b < 0x80 || b > 0xBF) {
            return 0;
        }
    }
    return len;
}

} // namespace

std::string CJsonWriter::Quote(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0x0F];
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                const std::size_t len = Utf8Length(text, i);
                if (len == 0) {
                    out += "\\ufffd";
                    ++i;
                    continue;
                }
                out.append(text.substr(i, len));
                i += len;
                continue;
            }
            break;
        }
        ++i;
    }
    out += '"';
    return out;
}

void CJsonWriter::BeforeValue() {
    if (m_bAfterKey) {
        m_bAfterKey = false;
        return;
    }
    if (!m_bEmpty.empty()) {
        if (!m_bEmpty.back()) {
            m_strText += ',';
        }
        m_bEmpty.back() = false;
    }
}

CJsonWriter& CJsonWriter::BeginObject() {
    BeforeValue();
    m_strText += '{';
    m_bEmpty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    m_strText += '}';
    if (!m_bEmpty.empty()) {
        m_bEmpty.pop_back();
    }
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    BeforeValue();
    m_strText += '[';
    m_bEmpty.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    m_strText += ']';
    if (!m_bEmpty.empty()) {
        m_bEmpty.pop_back();
    }
    return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view key) {
    BeforeValue();
    m_strText += Quote(key);
    m_strText += ':';
    m_bAfterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::Int(long long value) {
    BeforeValue();
    m_strText += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
    BeforeValue();
    m_strText += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view value) {
    BeforeValue();
    m_strText += Quote(value);
    return *this;
}

CJsonWriter& CJsonWriter::OneDecimal(double value) {
    if (!std::isfinite(value)) {
        return Null();
    }
    BeforeValue();
    m_strText += FormatOneDecimal(value);
    return *this;
}

CJsonWriter& CJsonWriter::Null() {
    BeforeValue();
    m_strText += "null";
    return *this;
}
