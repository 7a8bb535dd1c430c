#include "serial/PortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

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

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    return line;
}

const char* UartName(int type) {
    // The serial core's port types.
    static const char* const kTypes[] = {nullptr,  "8250",  "16450",   "16550", "16550A",
                                         "Cirrus", "16650", "16650V2", "16750", "Startech",
                                         "16C950", "16654", "16850",   "RSA",   "NS16550A"};
    return type > 0 && type < static_cast<int>(std::size(kTypes)) ? kTypes[type] : nullptr;
}

// What sysfs tells of one class entry (ttyS0, ttyUSB0, ...).
void DescribeTty(const fs::path& entry, CSerialPortInfo& info) {
    std::error_code ec;
    const fs::path device = entry / "device";
    // Newer kernels put the serial core's own port and controller devices (bus serial-base)
    // between the terminal and the hardware; the driver that names the hardware is further up.
    fs::path dir = fs::canonical(device, ec);
    for (int level = 0; !ec && level < 4 && dir.has_relative_path();
         ++level, dir = dir.parent_path()) {
        std::error_code ec2;
        const fs::path driver = fs::read_symlink(dir / "driver", ec2);
        if (!ec2 && driver.string().find("/serial-base/") == std::string::npos) {
            info.strDriver = driver.filename().string();
            break;
        }
    }
    const std::string type = ReadLine(entry / "type");
    if (!type.empty() && std::all_of(type.begin(), type.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        })) {
        const int n = type.size() < 4 ? std::stoi(type) : 0;
        if (const char* name = UartName(n)) {
            info.strUartType = name;
        }
    }
    // A USB adapter: the USB device that carries the port lies a few levels up.
    dir = fs::canonical(device, ec);
    for (int level = 0; !ec && level < 6 && dir.has_relative_path();
         ++level, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            info.strVendorId = ReadLine(dir / "idVendor");
            info.strProductId = ReadLine(dir / "idProduct");
            info.strManufacturer = ReadLine(dir / "manufacturer");
            info.strProduct = ReadLine(dir / "product");
            info.strSerial = ReadLine(dir / "serial");
            break;
        }
    }
}

} // namespace

std::string CSerialPortInfo::Describe() const {
    std::vector<std::string> parts;
    std::string what = strManufacturer;
    if (!strProduct.empty()) {
        what += (what.empty() ? "" : " ") + strProduct;
    }
    if (!strVendorId.empty()) {
        std::string usb = "USB " + strVendorId + ":" + strProductId;
        if (!strSerial.empty()) {
            usb += ", serial " + strSerial;
        }
        what = what.empty() ? usb : what + " (" + usb + ")";
    } else if (!strUartType.empty()) {
        what = strUartType + " UART";
    }
    if (!what.empty()) {
        parts.push_back(what);
    }
    if (!strDriver.empty()) {
        parts.push_back(strDriver);
    }
    if (!strDevice.empty() && strDevice != strName) {
        parts.push_back(strDevice);
    }
    std::string text;
    for (const std::string& p : parts) {
        text += (text.empty() ? "" : ", ") + p;
    }
    return text;
}

std::vector<CSerialPortInfo> ListSerialPorts(const std::string& sysClassTty,
                                             const std::string& byIdDir) {
    std::vector<CSerialPortInfo> uarts, others, byId;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code ec2;
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (!fs::exists(entry.path() / "device", ec2)) {
            continue;
        }
        CSerialPortInfo info;
        info.strDevice = "/dev/" + name;
        info.strName = info.strDevice;
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
                info.strName = "COM" + std::to_string(std::stoi(name.substr(4)) + 1);
                DescribeTty(entry.path(), info);
                uarts.push_back(info);
                continue;
            }
        }
        DescribeTty(entry.path(), info);
        others.push_back(info);
    }
    for (const auto& entry : fs::directory_iterator(byIdDir, ec)) {
        CSerialPortInfo info;
        info.strName = entry.path().string();
        // The stable names are links to the device: describe the device they lead to.
        std::error_code ec2;
        const fs::path target = fs::read_symlink(entry.path(), ec2);
        const std::string tty = (ec2 ? entry.path() : target).filename().string();
        info.strDevice = "/dev/" + tty;
        if (fs::exists(fs::path(sysClassTty) / tty / "device", ec2)) {
            DescribeTty(fs::path(sysClassTty) / tty, info);
        }
        byId.push_back(info);
    }
    auto byName = [](const CSerialPortInfo& a, const CSerialPortInfo& b) {
        return NaturalLess(a.strName, b.strName);
    };
    std::sort(uarts.begin(), uarts.end(), byName);
    std::sort(others.begin(), others.end(), byName);
    std::sort(byId.begin(), byId.end(), [](const CSerialPortInfo& a, const CSerialPortInfo& b) {
        return a.strName < b.strName;
    });
    std::vector<CSerialPortInfo> all;
    all.insert(all.end(), uarts.begin(), uarts.end());
    all.insert(all.end(), others.begin(), others.end());
    all.insert(all.end(), byId.begin(), byId.end());
    return all;
}

std::vector<CSerialPortInfo> ListSerialPorts() {
    return ListSerialPorts("/sys/class/tty", "/dev/serial/by-id");
}

std::vector<std::string> EnumerateSerialPorts(const std::string& sysClassTty,
                                              const std::string& byIdDir) {
    std::vector<std::string> names;
    for (const CSerialPortInfo& info : ListSerialPorts(sysClassTty, byIdDir)) {
        names.push_back(info.strName);
    }
    return names;
}

std::vector<std::string> EnumerateSerialPorts() {
    return EnumerateSerialPorts("/sys/class/tty", "/dev/serial/by-id");
}
