#pragma once

#include "base/Export.h"
#include "devices/TarvikPort.h"

// The logger port under its own type for wave-jig installations; the jig hangs on a direct
// cable unless told otherwise.
class LINTARO_API COndralPort : public CTarvikPort {
public:
    COndralPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~COndralPort() override;
};
