#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The registry's two hives the program keeps values in.
enum HKEY { HKEY_CURRENT_USER = 1, HKEY_LOCAL_MACHINE = 2 };

// A settings store with the registry's contract: hives, backslash-separated key paths, named
// values that are either strings or 32-bit numbers; key paths and value names compare without
// regard to letter case. Each hive is one INI file in the program's settings folder
// ($XDG_CONFIG_HOME/<vendor>/<product>, ~/.config when the variable is unset), one section per
// key:
//
//     [Software\Velmora\Quorvel\Settings]
//     Port="COM1"
//     [Software\Velmora\Quorvel\MainWindow]
//     XPos=dword:00000032
//
// Every call reads the file afresh and every change rewrites it whole and safely, so values
// are on disk as soon as they are written, readable by the owner only (mode 0600). A line that
// cannot be understood is ignored.
class CSettingsStore {
public:
    CSettingsStore(std::string strVendor, std::string strProduct);

    // The folder the hive files lie in, resolved from the environment at each call.
    std::string GetFolder() const;
    std::string GetFilePath(HKEY hive) const;

    bool KeyExists(HKEY hive, const std::string& strKey) const;
    // False when the key or value is missing or holds the other type; out is then untouched.
    bool ReadString(HKEY hive, const std::string& strKey, const std::string& strValue,
                    std::string& out) const;
    bool ReadDword(HKEY hive, const std::string& strKey, const std::string& strValue,
                   std::uint32_t& out) const;
    // Value names of a key in stored order.
    std::vector<std::string> GetValueNames(HKEY hive, const std::string& strKey) const;

    // Create the key when it is missing; false when the file cannot be written.
    bool CreateKey(HKEY hive, const std::string& strKey);
    bool WriteString(HKEY hive, const std::string& strKey, const std::string& strValue,
                     const std::string& strData);
    bool WriteDword(HKEY hive, const std::string& strKey, const std::string& strValue,
                    std::uint32_t dwData);
    bool DeleteValue(HKEY hive, const std::string& strKey, const std::string& strValue);

    // The file format, for tests and tools.
    struct Value {
        std::string strName;
        bool bDword = false;
        std::string strData;
        std::uint32_t dwData = 0;
    };
    struct Key {
        std::string strPath;
        std::vector<Value> values;
    };
    static std::vector<Key> Parse(const std::string& text);
    static std::string Format(const std::vector<Key>& keys, const std::string& strHeader);

private:
    std::vector<Key> Load(HKEY hive) const;
    bool Save(HKEY hive, const std::vector<Key>& keys);
    // Sets a value of a key, making either when missing; an existing value keeps its name.
    bool WriteValue(HKEY hive, const std::string& strKey, const Value& data);

    std::string m_strVendor;
    std::string m_strProduct;
};
