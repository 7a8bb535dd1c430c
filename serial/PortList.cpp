#include "serial/PortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Natural order, so that COM2 sorts before COM10.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) {
                ++ej;
            }
            unsigned long long na = std::stoull(a.substr(i, std::min<std::size_t>(ei - i, 18)));
            unsigned long long nb = std::stoull(b.substr(j, std::min<std::size_t>(ej - j, 18)));
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::vector<std::string> EnumerateSerialPorts(const std::string& sysClassTty,
                                              const std::string& byIdDir) {
    std::vector<std::string> uarts, others, byId;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code ec2;
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (!fs::exists(entry.path() / "device", ec2)) {
            continue;
        }
        if (name.rfind("ttyS", 0) == 0 && name.size() > 4) {
            // The 8250 driver lists placeholder ports; a port type of 0 means no UART is there.
            std::ifstream typeFile(entry.path() / "type");
            int type = 0;
            if (typeFile && (typeFile >> type) && type == 0) {
                continue;
            }
            bool digits = std::all_of(name.begin() + 4, name.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            });
            if (digits && name.size() <= 9) {
                uarts.push_back("COM" + std::to_string(std::stoi(name.substr(4)) + 1));
                continue;
            }
        }
        others.push_back("/dev/" + name);
    }
    for (const auto& entry : fs::directory_iterator(byIdDir, ec)) {
        byId.push_back(entry.path().string());
    }
    std::sort(uarts.begin(), uarts.end(), NaturalLess);
    std::sort(others.begin(), others.end(), NaturalLess);
    std::sort(byId.begin(), byId.end());
    std::vector<std::string> all;
    all.insert(all.end(), uarts.begin(), uarts.end());
    all.insert(all.end(), others.begin(), others.end());
    all.insert(all.end(), byId.begin(), byId.end());
    return all;
}

std::vector<std::string> EnumerateSerialPorts() {
    return EnumerateSerialPorts("/sys/class/tty", "/dev/serial/by-id");
}
