#include "serial/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(PortList, ListsRealUartsAsComNamesThenOtherDevices) {
    fs::path root = fs::path(::testing::TempDir()) / ("portlist-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::path sys = root / "class";
    fs::path byId = root / "by-id";
    auto add = [&](const std::string& name, bool device, const char* type) {
        fs::create_directories(sys / name);
        if (device) {
            fs::create_directories(sys / name / "device");
        }
        if (type) {
            std::ofstream(sys / name / "type") << type << "\n";
        }
    };
    add("ttyS0", true, "4");
    add("ttyS1", true, "0"); // placeholder without a UART
    add("ttyS10", true, "4");
    add("ttyS2", true, "4");
    add("ttyUSB0", true, nullptr);
    add("ttyACM0", true, nullptr);
    add("tty1", false, nullptr); // a virtual console
    add("ptmx", false, nullptr);
    fs::create_directories(byId);
    std::ofstream(byId / "usb-FTDI_Cable-if00-port0").close();

    auto ports = EnumerateSerialPorts(sys.string(), byId.string());
    std::vector<std::string> expected{
        "COM1",         "COM3",         "COM11",
        "/dev/ttyACM0", "/dev/ttyUSB0", (byId / "usb-FTDI_Cable-if00-port0").string()};
    EXPECT_EQ(ports, expected);
    EXPECT_TRUE(
        EnumerateSerialPorts((root / "absent").string(), (root / "absent").string()).empty());
    fs::remove_all(root);
}

} // namespace
