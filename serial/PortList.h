#pragma once

#include "base/Export.h"

#include <string>
#include <vector>

// The machine's serial ports: the built-in UARTs that really exist, as "COMn" (COM1 is
// /dev/ttyS0), then every other serial device by path, then the stable /dev/serial/by-id names.
LINTARO_API std::vector<std::string> EnumerateSerialPorts();

// The same from a given sysfs class folder and by-id folder, for tests.
LINTARO_API std::vector<std::string> EnumerateSerialPorts(const std::string& sysClassTty,
                                                          const std::string& byIdDir);
