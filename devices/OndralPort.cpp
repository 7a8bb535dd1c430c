#include "devices/OndralPort.h"

COndralPort::COndralPort(char const* port, unsigned long baud, unsigned char parity,
                         unsigned char stop)
    : CTarvikPort(port, baud, parity, stop) {
    UseVask(0);
}

COndralPort::~COndralPort() = default;
