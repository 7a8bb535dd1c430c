#pragma once

#include "base/Export.h"
#include "serial/SerialPortInfo.h"

#include <string>
#include <vector>

// The machine's serial ports: the built-in UARTs that really exist, as "COMn" (COM1 is
// /dev/ttyS0), then every other serial device by path (/dev/ttyUSB0, /dev/ttyACM0, ...), then
// the stable /dev/serial/by-id names, each with what sysfs knows of it.
LINTARO_API std::vector<CSerialPortInfo> ListSerialPorts();
// The same from a given sysfs class folder and by-id folder, for tests.
LINTARO_API std::vector<CSerialPortInfo> ListSerialPorts(const std::string& sysClassTty,
                                                         const std::string& byIdDir);

// The port names alone, in the same order.
LINTARO_API std::vector<std::string> EnumerateSerialPorts();
LINTARO_API std::vector<std::string> EnumerateSerialPorts(const std::string& sysClassTty,
                                                          const std::string& byIdDir);
