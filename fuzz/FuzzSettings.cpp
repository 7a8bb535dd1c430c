// The settings files: whatever a hive file holds, what is read from it is written back and
// reads the same.
#include "FuzzSupport.h"

#include "app/framework/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<CSettingsStore::Key> keys = CSettingsStore::Parse(text);
    for (const CSettingsStore::Key& key : keys) {
        FUZZ_CHECK(!key.strPath.empty() && key.strPath.find('\n') == std::string::npos);
    }
    const std::string formatted = CSettingsStore::Format(keys, "fuzz");
    const std::vector<CSettingsStore::Key> again = CSettingsStore::Parse(formatted);
    FUZZ_CHECK(again.size() == keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        FUZZ_CHECK(again[k].strPath == keys[k].strPath);
        FUZZ_CHECK(again[k].values.size() == keys[k].values.size());
        for (std::size_t v = 0; v < keys[k].values.size(); ++v) {
            const CSettingsStore::Value& a = again[k].values[v];
            const CSettingsStore::Value& b = keys[k].values[v];
            FUZZ_CHECK(a.strName == b.strName && a.bDword == b.bDword);
            FUZZ_CHECK(b.bDword ? a.dwData == b.dwData : a.strData == b.strData);
        }
    }
    FUZZ_CHECK(CSettingsStore::Format(again, "fuzz") == formatted);
    return 0;
}
