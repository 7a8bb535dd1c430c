#include "records/JsonWriter.h"

#include "records/TextFormat.h"

#include <charconv>
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

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// Every byte that is not part of a valid UTF-8 sequence becomes U+FFFD, one for each byte, so
// that a damaged name keeps its length in the output.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8Length(text, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    return out;
}

// The serializer leaves DEL and U+FFFD as they are; the documents have always carried them
// escaped, which keeps them readable where a terminal would hide them.
std::string Dump(const nlohmann::ordered_json& value) {
    const std::string text = value.dump();
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x7F') {
            out += "\\u007f";
        } else if (text.compare(i, 3, kReplacement) == 0) {
            out += "\\ufffd";
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string CJsonWriter::Quote(std::string_view text) {
    return Dump(ValidUtf8(text));
}

nlohmann::ordered_json& CJsonWriter::Add(nlohmann::ordered_json value) {
    const bool member = m_bAfterKey;
    m_bAfterKey = false;
    m_bStarted = true;
    if (m_open.empty()) {
        m_root = std::move(value);
        return m_root;
    }
    nlohmann::ordered_json& parent = *m_open.back();
    if (member) {
        return parent.emplace(m_strKey, std::move(value)).first.value();
    }
    parent.push_back(std::move(value));
    return parent.back();
}

void CJsonWriter::Open(nlohmann::ordered_json value) {
    // Only the innermost container grows, so the places of the ones around it stay put.
    m_open.push_back(&Add(std::move(value)));
}

void CJsonWriter::Close() {
    if (!m_open.empty()) {
        m_open.pop_back();
    }
}

CJsonWriter& CJsonWriter::BeginObject() {
    Open(nlohmann::ordered_json::object());
    return *this;
}

CJsonWriter& CJsonWriter::EndObject() {
    Close();
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray() {
    Open(nlohmann::ordered_json::array());
    return *this;
}

CJsonWriter& CJsonWriter::EndArray() {
    Close();
    return *this;
}

CJsonWriter& CJsonWriter::Key(std::string_view key) {
    m_strKey = ValidUtf8(key);
    m_bAfterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::Int(long long value) {
    Add(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value) {
    Add(value);
    return *this;
}

CJsonWriter& CJsonWriter::String(std::string_view value) {
    Add(ValidUtf8(value));
    return *this;
}

CJsonWriter& CJsonWriter::OneDecimal(double value) {
    if (!std::isfinite(value)) {
        return Null();
    }
    // Rounded to one decimal first: the shortest form of that number is what is printed.
    const std::string text = FormatOneDecimal(value);
    double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    Add(rounded);
    return *this;
}

CJsonWriter& CJsonWriter::Null() {
    Add(nullptr);
    return *this;
}

const std::string& CJsonWriter::GetText() const {
    m_strText = m_bStarted ? Dump(m_root) : std::string();
    return m_strText;
}
