#pragma once

#include "base/Export.h"
#include "serial/CommApi.h"

#include <cstddef>

// One open serial device. The port classes reach it only through the handle calls of CommApi.h;
// the termios device and the scripted test device implement it. Results are true for success;
// on failure errno tells why.
class LINTARO_API CSerialDevice {
public:
    virtual ~CSerialDevice();
    virtual bool SetState(const lintaro::DCB& dcb) = 0;
    virtual bool GetTimeouts(lintaro::COMMTIMEOUTS& t) = 0;
    virtual bool SetTimeouts(const lintaro::COMMTIMEOUTS& t) = 0;
    // Reads up to count bytes under the time-outs last set; the count read, or -1 on an error.
    virtual long Read(unsigned char* buffer, std::size_t count) = 0;
    // Writes count bytes; the count handed to the driver, or -1 on an error before any.
    virtual long Write(const unsigned char* data, std::size_t count) = 0;
    virtual bool Purge(unsigned long flags) = 0;
    virtual bool Escape(unsigned long function) = 0;
    virtual bool GetModemStatus(unsigned long& status) = 0;
    // True once the device has failed for good (gone, hung up, closed by the other side):
    // nothing but opening it again can help.
    virtual bool IsLost() const { return false; }
    // Why it was lost (an errno value or an ERROR_ code of CommApi.h), 0 when not known.
    virtual int LostReason() const { return 0; }
};

// How long a read may wait under a time-out record, from the record alone.
struct CReadPlan {
    enum Kind { immediate, firstByte, total };
    Kind kind = total;
    std::uint32_t nTotalMs = 0;    // the whole read's limit (firstByte: limit for the first byte)
    std::uint32_t nIntervalMs = 0; // longest gap between bytes once one has come; 0 for none
};
namespace lintaro {
LINTARO_API CReadPlan PlanRead(const COMMTIMEOUTS& t, std::size_t count);
}
