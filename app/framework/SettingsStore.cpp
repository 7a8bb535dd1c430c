#include "app/framework/SettingsStore.h"

#include "base/FileIO.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) {
        --e;
    }
    return s.substr(b, e - b);
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
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
            out += c;
        }
    }
    return out + "\"";
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool Unquote(const std::string& s, std::size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) {
            char n = s[++pos];
            switch (n) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            default:
                out += n;
            }
        } else {
            out += c;
        }
    }
    return false;
}

bool PlainName(const std::string& name) {
    if (name.empty() || name != Trim(name)) {
        return false;
    }
    if (name[0] == '[' || name[0] == ';' || name[0] == '#' || name[0] == '"') {
        return false;
    }
    return name.find_first_of("=\n\r") == std::string::npos;
}

std::vector<CSettingsStore::Key>::iterator FindKey(std::vector<CSettingsStore::Key>& keys,
                                                   const std::string& path) {
    return std::find_if(keys.begin(), keys.end(),
                        [&](const CSettingsStore::Key& k) { return SameName(k.strPath, path); });
}

std::vector<CSettingsStore::Value>::iterator FindValue(CSettingsStore::Key& key,
                                                       const std::string& name) {
    return std::find_if(key.values.begin(), key.values.end(),
                        [&](const CSettingsStore::Value& v) { return SameName(v.strName, name); });
}

bool ValidKey(const std::string& path) {
    return !path.empty() && path.find_first_of("\n\r") == std::string::npos;
}

bool MakeFolders(const std::string& path) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CSettingsStore::CSettingsStore(std::string strVendor, std::string strProduct)
    : m_strVendor(std::move(strVendor)), m_strProduct(std::move(strProduct)) {}

std::string CSettingsStore::GetFolder() const {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG path is invalid and is ignored.
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/" + m_strVendor + "/" + m_strProduct;
}

std::string CSettingsStore::GetFilePath(HKEY hive) const {
    return GetFolder() +
           (hive == HKEY_LOCAL_MACHINE ? "/HKEY_LOCAL_MACHINE.ini" : "/HKEY_CURRENT_USER.ini");
}

std::vector<CSettingsStore::Key> CSettingsStore::Parse(const std::string& text) {
    std::vector<Key> keys;
    Key* current = nullptr;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                current = nullptr; // a damaged header: its values are not trusted
                continue;
            }
            std::string path = line.substr(1, line.size() - 2);
            auto it = FindKey(keys, path);
            if (it == keys.end()) {
                keys.push_back({path, {}});
                current = &keys.back();
            } else {
                current = &*it;
            }
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        Value value;
        std::size_t pos = 0;
        if (line[0] == '"') {
            if (!Unquote(line, pos, value.strName)) {
                continue;
            }
            while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
                ++pos;
            }
            if (pos >= line.size() || line[pos] != '=') {
                continue;
            }
        } else {
            pos = line.find('=');
            if (pos == std::string::npos) {
                continue;
            }
            value.strName = Trim(line.substr(0, pos));
        }
        std::string data = Trim(line.substr(pos + 1));
        if (data.size() >= 2 && data[0] == '"') {
            std::size_t p = 0;
            if (!Unquote(data, p, value.strData) || Trim(data.substr(p)) != "") {
                continue;
            }
        } else if (data.size() > 6 && SameName(data.substr(0, 6), "dword:")) {
            std::string hex = data.substr(6);
            if (hex.empty() || hex.size() > 8 || !std::all_of(hex.begin(), hex.end(), [](char c) {
                    return std::isxdigit(static_cast<unsigned char>(c));
                })) {
                continue;
            }
            value.bDword = true;
            value.dwData = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
        } else {
            continue;
        }
        auto existing = FindValue(*current, value.strName);
        if (existing != current->values.end()) {
            *existing = value;
        } else {
            current->values.push_back(value);
        }
    }
    return keys;
}

std::string CSettingsStore::Format(const std::vector<Key>& keys, const std::string& strHeader) {
    std::string out = "; " + strHeader + "\n";
    for (const Key& key : keys) {
        out += "\n[" + key.strPath + "]\n";
        for (const Value& v : key.values) {
            out += PlainName(v.strName) ? v.strName : Quote(v.strName);
            out += "=";
            if (v.bDword) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v.dwData);
                out += buf;
            } else {
                out += Quote(v.strData);
            }
            out += "\n";
        }
    }
    return out;
}

std::vector<CSettingsStore::Key> CSettingsStore::Load(HKEY hive) const {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(GetFilePath(hive), data)) {
        return {};
    }
    return Parse(std::string(data.begin(), data.end()));
}

bool CSettingsStore::Save(HKEY hive, const std::vector<Key>& keys) {
    if (!MakeFolders(GetFolder())) {
        return false;
    }
    std::string header = m_strProduct + " settings (" +
                         (hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") +
                         ")";
    std::string text = Format(keys, header);
    // Owner only: settings may name servers and accounts nobody else needs to read.
    return WriteFileAtomically(GetFilePath(hive),
                               std::vector<std::uint8_t>(text.begin(), text.end()), 0600);
}

bool CSettingsStore::KeyExists(HKEY hive, const std::string& strKey) const {
    std::vector<Key> keys = Load(hive);
    return FindKey(keys, strKey) != keys.end();
}

bool CSettingsStore::ReadString(HKEY hive, const std::string& strKey, const std::string& strValue,
                                std::string& out) const {
    std::vector<Key> keys = Load(hive);
    auto key = FindKey(keys, strKey);
    if (key == keys.end()) {
        return false;
    }
    auto value = FindValue(*key, strValue);
    if (value == key->values.end() || value->bDword) {
        return false;
    }
    // A stored text ends at its first NUL, as a registry string does.
    out = value->strData.substr(0, value->strData.find('\0'));
    return true;
}

bool CSettingsStore::ReadDword(HKEY hive, const std::string& strKey, const std::string& strValue,
                               std::uint32_t& out) const {
    std::vector<Key> keys = Load(hive);
    auto key = FindKey(keys, strKey);
    if (key == keys.end()) {
        return false;
    }
    auto value = FindValue(*key, strValue);
    if (value == key->values.end() || !value->bDword) {
        return false;
    }
    out = value->dwData;
    return true;
}

std::vector<std::string> CSettingsStore::GetValueNames(HKEY hive, const std::string& strKey) const {
    std::vector<Key> keys = Load(hive);
    std::vector<std::string> names;
    auto key = FindKey(keys, strKey);
    if (key != keys.end()) {
        for (const Value& v : key->values) {
            names.push_back(v.strName);
        }
    }
    return names;
}

bool CSettingsStore::CreateKey(HKEY hive, const std::string& strKey) {
    if (!ValidKey(strKey)) {
        return false;
    }
    std::vector<Key> keys = Load(hive);
    if (FindKey(keys, strKey) != keys.end()) {
        // Opening an existing key still needs a store we can write to.
        return MakeFolders(GetFolder()) && ::access(GetFolder().c_str(), W_OK) == 0;
    }
    keys.push_back({strKey, {}});
    return Save(hive, keys);
}

bool CSettingsStore::WriteString(HKEY hive, const std::string& strKey, const std::string& strValue,
                                 const std::string& strData) {
    return WriteValue(hive, strKey, {strValue, false, strData, 0});
}

bool CSettingsStore::WriteDword(HKEY hive, const std::string& strKey, const std::string& strValue,
                                std::uint32_t dwData) {
    return WriteValue(hive, strKey, {strValue, true, {}, dwData});
}

bool CSettingsStore::WriteValue(HKEY hive, const std::string& strKey, const Value& data) {
    if (!ValidKey(strKey)) {
        return false;
    }
    std::vector<Key> keys = Load(hive);
    auto key = FindKey(keys, strKey);
    if (key == keys.end()) {
        keys.push_back({strKey, {}});
        key = keys.end() - 1;
    }
    auto value = FindValue(*key, data.strName);
    if (value == key->values.end()) {
        key->values.push_back(data);
    } else {
        value->bDword = data.bDword;
        value->strData = data.strData;
        value->dwData = data.dwData;
    }
    return Save(hive, keys);
}

bool CSettingsStore::DeleteValue(HKEY hive, const std::string& strKey,
                                 const std::string& strValue) {
    std::vector<Key> keys = Load(hive);
    auto key = FindKey(keys, strKey);
    if (key == keys.end()) {
        return false;
    }
    auto value = FindValue(*key, strValue);
    if (value == key->values.end()) {
        return false;
    }
    key->values.erase(value);
    return Save(hive, keys);
}
