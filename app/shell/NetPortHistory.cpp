#include "app/shell/NetPortHistory.h"

#include "app/shell/Registry.h"
#include "serial/NetAddress.h"

#include <algorithm>

namespace {

std::string ValueName(std::size_t i) {
    return "Port" + std::to_string(i + 1);
}

// The same port whatever letter case the scheme was typed in.
std::string Canonical(const std::string& strName) {
    CNetAddress address;
    return CNetAddress::Parse(strName, address) ? address.GetUrl() : strName;
}

} // namespace

std::vector<std::string> CNetPortHistory::Load() {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < kMaxPorts; ++i) {
        std::string name;
        CNetAddress address;
        // A hand-edited store may hold anything: only well-formed names, each once.
        if (ReadRegString(HKEY_CURRENT_USER, kKey, ValueName(i), name) &&
            CNetAddress::Parse(name, address) &&
            std::none_of(list.begin(), list.end(),
                         [&](const std::string& s) { return Canonical(s) == Canonical(name); })) {
            list.push_back(name);
        }
    }
    return list;
}

std::vector<std::string> CNetPortHistory::Add(std::vector<std::string> list,
                                              const std::string& strName) {
    const std::string key = Canonical(strName);
    std::erase_if(list, [&](const std::string& s) { return Canonical(s) == key; });
    list.insert(list.begin(), strName);
    if (list.size() > kMaxPorts) {
        list.resize(kMaxPorts);
    }
    return list;
}

void CNetPortHistory::Remember(const std::string& strName) {
    CNetAddress address;
    if (!CNetAddress::Parse(strName, address)) {
        return;
    }
    const std::vector<std::string> list = Add(Load(), strName);
    for (std::size_t i = 0; i < kMaxPorts; ++i) {
        if (i < list.size()) {
            WriteRegString(HKEY_CURRENT_USER, kKey, ValueName(i), list[i]);
        } else {
            ProgramSettings().DeleteValue(HKEY_CURRENT_USER, kKey, ValueName(i));
        }
    }
}
