#include "serial/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <utility>
#include <vector>

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

TEST(PortList, TellsWhatSysfsKnowsOfUsbAdaptersAndBuiltInPorts) {
    fs::path root = fs::path(::testing::TempDir()) / ("portinfo-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path sys = root / "class";
    const fs::path usb = root / "devices" / "usb1" / "1-2";
    const fs::path port = usb / "1-2:1.0" / "ttyUSB0";
    fs::create_directories(port);
    fs::create_directories(root / "drivers" / "ftdi_sio");
    fs::create_directories(root / "devices" / "serial8250" / "tty");
    fs::create_directories(root / "bus" / "serial-base" / "port");
    fs::create_directories(root / "bus" / "pnp" / "serial");
    for (const auto& [file, text] :
         std::vector<std::pair<const char*, const char*>>{{"idVendor", "0403"},
                                                          {"idProduct", "6001"},
                                                          {"manufacturer", "FTDI"},
                                                          {"product", "FT232R USB UART"},
                                                          {"serial", "A10K3"}}) {
        std::ofstream(usb / file) << text << "\n";
    }
    fs::create_directory_symlink(root / "drivers" / "ftdi_sio", port / "driver");
    fs::create_directories(sys / "ttyUSB0");
    fs::create_directory_symlink(port, sys / "ttyUSB0" / "device");
    // A built-in port behind the serial core's own port device.
    const fs::path uart = root / "devices" / "serial8250" / "port0";
    fs::create_directories(uart);
    fs::create_directory_symlink(root / "bus" / "serial-base" / "port", uart / "driver");
    fs::create_directory_symlink(root / "bus" / "pnp" / "serial",
                                 root / "devices" / "serial8250" / "driver");
    fs::create_directories(sys / "ttyS0");
    fs::create_directory_symlink(uart, sys / "ttyS0" / "device");
    std::ofstream(sys / "ttyS0" / "type") << "4\n";
    const fs::path byId = root / "by-id";
    fs::create_directories(byId);
    fs::create_symlink("../../ttyUSB0", byId / "usb-FTDI_FT232R_USB_UART_A10K3-if00-port0");

    const std::vector<CSerialPortInfo> ports = ListSerialPorts(sys.string(), byId.string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].Describe(), "16550A UART, serial, /dev/ttyS0");
    EXPECT_EQ(ports[1].strName, "/dev/ttyUSB0");
    EXPECT_EQ(ports[1].Describe(), "FTDI FT232R USB UART (USB 0403:6001, serial A10K3), ftdi_sio");
    // The stable name describes the adapter it leads to.
    EXPECT_EQ(ports[2].strDevice, "/dev/ttyUSB0");
    EXPECT_EQ(ports[2].strVendorId, "0403");
    EXPECT_EQ(ports[2].Describe(),
              "FTDI FT232R USB UART (USB 0403:6001, serial A10K3), ftdi_sio, /dev/ttyUSB0");
    fs::remove_all(root);
}

} // namespace
