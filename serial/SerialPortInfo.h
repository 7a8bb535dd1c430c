#pragma once

#include "base/Export.h"

#include <string>

// What the system knows of one of the machine's serial ports (from sysfs), for lists that
// people choose from. Fields the system does not know are empty.
struct LINTARO_API CSerialPortInfo {
    std::string strName;     // the port name to open: COMn, or a device path
    std::string strDevice;   // the terminal device behind it, e.g. /dev/ttyUSB0
    std::string strDriver;   // the kernel driver: serial8250, ftdi_sio, cdc_acm, ...
    std::string strUartType; // built-in ports: the UART, e.g. 16550A
    std::string strVendorId; // USB adapters: vendor and product IDs, four hex digits each
    std::string strProductId;
    std::string strManufacturer; // USB adapters: the strings the device reports
    std::string strProduct;
    std::string strSerial;

    // One line for people: "FTDI FT232R USB UART (USB 0403:6001, serial A1B2), ftdi_sio,
    // /dev/ttyUSB0"; the device is named only where it differs from the port name.
    std::string Describe() const;
};
