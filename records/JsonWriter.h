#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

// Builds one compact JSON document in the order it is written. Separators are placed
// automatically; the caller only has to open and close containers in order and give every
// object member a key.
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

    const std::string& GetText() const;

    // A JSON string literal of text taken as UTF-8; bytes that are not valid UTF-8 become
    // U+FFFD so that the document stays valid.
    static std::string Quote(std::string_view text);

private:
    nlohmann::ordered_json& Add(nlohmann::ordered_json value);
    void Open(nlohmann::ordered_json value);
    void Close();

    nlohmann::ordered_json m_root;
    std::vector<nlohmann::ordered_json*> m_open; // the containers not yet closed, outermost first
    std::string m_strKey;
    bool m_bAfterKey = false;
    bool m_bStarted = false;
    mutable std::string m_strText;
};
