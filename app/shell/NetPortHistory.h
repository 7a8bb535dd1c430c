#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The network ports (socket:// and rfc2217:// names) chosen last, most recent first, kept for
// the Serial Port Settings dialog's list in the settings store under
// HKEY_CURRENT_USER "Software\Velmora\Quorvel\NetworkPorts" as "Port1", "Port2", ...
class CNetPortHistory {
public:
    static constexpr std::size_t kMaxPorts = 5;
    static constexpr const char* kKey = "Software\\Velmora\\Quorvel\\NetworkPorts";

    static std::vector<std::string> Load();
    // Puts a well-formed network port name first (once) and stores the list; other names
    // change nothing.
    static void Remember(const std::string& strName);
    // The list after choosing a name: the name first, an older copy (equal up to the scheme's
    // letter case) dropped, at most kMaxPorts kept.
    static std::vector<std::string> Add(std::vector<std::string> list, const std::string& strName);
};
