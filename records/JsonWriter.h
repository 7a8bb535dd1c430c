#pragma once

#include <string>
#include <string_view>
#include <vector>

// Builds one compact JSON document. Separators are placed automatically; the caller only has
// to open and close containers in order and give every object member a key.
class CJsonWriter {
public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(std::string_view key);

    CJsonWriter& Int(long long value);
    CJsonWriter& Bool(bool value);
    CJsonWriter& String(std::string_view value);
    // A number with one decimal (the analyser's tenths); null when it is not finite.
    CJsonWriter& OneDecimal(double value);
    CJsonWriter& Null();

    const std::string& GetText() const { return m_strText; }

    // A JSON string literal of text taken as UTF-8; bytes that are not valid UTF-8 become
    // U+FFFD so that the document stays valid.
    static std::string Quote(std::string_view text);

private:
    void BeforeValue();

    std::string m_strText;
    std::vector<bool> m_bEmpty; // per open container: nothing written into it yet
    bool m_bAfterKey = false;
};
