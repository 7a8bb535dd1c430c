#pragma once

// The serial communications interface the port classes are written against: the platform's
// records and constants, and handle-based calls that reach a CSerialDevice behind the handle.

#include "base/Export.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CSerialDevice;

// Kept in a namespace of their own so that they never meet another definition of these names.
namespace lintaro {

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// The 28-byte device control block.
struct DCB {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t fBinary : 1;
    std::uint32_t fParity : 1;
    std::uint32_t fOutxCtsFlow : 1;
    std::uint32_t fOutxDsrFlow : 1;
    std::uint32_t fDtrControl : 2;
    std::uint32_t fDsrSensitivity : 1;
    std::uint32_t fTXContinueOnXoff : 1;
    std::uint32_t fOutX : 1;
    std::uint32_t fInX : 1;
    std::uint32_t fErrorChar : 1;
    std::uint32_t fNull : 1;
    std::uint32_t fRtsControl : 2;
    std::uint32_t fAbortOnError : 1;
    std::uint32_t fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};
static_assert(sizeof(DCB) == 28, "the control block is 28 bytes");

struct COMMTIMEOUTS {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

// Accepted for signature compatibility; overlapped input and output is never used.
struct OVERLAPPED;

constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

constexpr unsigned long PURGE_TXABORT = 0x01, PURGE_RXABORT = 0x02, PURGE_TXCLEAR = 0x04,
                        PURGE_RXCLEAR = 0x08;

constexpr unsigned long SETXOFF = 1, SETXON = 2, SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6,
                        SETBREAK = 8, CLRBREAK = 9;

constexpr unsigned long MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80;

// Last-error codes set by the calls below besides the system's errno values.
constexpr unsigned long ERROR_INVALID_HANDLE = 6;
// Why a network port could not be opened, where no errno value says it; above every errno.
constexpr unsigned long ERROR_BAD_PORT_URL = 11000;       // not socket:// or rfc2217://HOST:PORT
constexpr unsigned long ERROR_HOST_NOT_FOUND = 11001;     // the host name is unknown
constexpr unsigned long ERROR_HOST_LOOKUP = 11002;        // the name service did not answer
constexpr unsigned long ERROR_NO_COM_CONTROL = 11003;     // the server refuses RFC 2217
constexpr unsigned long ERROR_COM_CONTROL_SILENT = 11004; // the server does not answer it
constexpr unsigned long ERROR_LINE_SETTINGS = 11005;      // the server did not take the settings
// Why a network port was given up: the server sent what no serial line needs.
constexpr unsigned long ERROR_RECEIVE_OVERRUN = 11006;     // more line data than the port holds
constexpr unsigned long ERROR_LONG_SUBNEGOTIATION = 11007; // a Telnet subnegotiation too long
constexpr unsigned long ERROR_NEGOTIATION_STORM = 11008;   // Telnet option negotiation without end
constexpr unsigned long ERROR_SERVICE_ACCESS = 11009;      // the line service's socket refused us
constexpr unsigned long ERROR_SERVICE_ABSENT = 11010;      // no line service on that socket

// Opens a serial device by port name, exclusively: "COMn" is /dev/ttyS(n-1),
// "socket://HOST:PORT" a raw TCP connection to a device server, "rfc2217://HOST:PORT" a Telnet
// connection with the COM-port control, anything else a path used as given (or a name
// registered below). INVALID_HANDLE_VALUE on failure, with the reason (an errno value: ENOENT,
// EBUSY, EACCES, ECONNREFUSED, ..., or one of the ERROR_ codes above) as the thread's last error.
LINTARO_API HANDLE OpenCommDevice(const char* name);
LINTARO_API int CloseHandle(HANDLE h);

LINTARO_API int SetCommState(HANDLE h, const DCB* dcb);
LINTARO_API int GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t);
LINTARO_API int SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t);
LINTARO_API int ReadFile(HANDLE h, void* buffer, unsigned long count, unsigned long* read,
                         OVERLAPPED* overlapped);
LINTARO_API int WriteFile(HANDLE h, const void* buffer, unsigned long count, unsigned long* written,
                          OVERLAPPED* overlapped);
LINTARO_API int PurgeComm(HANDLE h, unsigned long flags);
LINTARO_API int EscapeCommFunction(HANDLE h, unsigned long function);
LINTARO_API int SetCommBreak(HANDLE h);
LINTARO_API int ClearCommBreak(HANDLE h);
LINTARO_API int GetCommModemStatus(HANDLE h, unsigned long* status);
// Non-zero when the device behind the handle has failed for good.
LINTARO_API int IsCommDeviceLost(HANDLE h);
// Why the device behind the handle was lost (an errno value or an ERROR_ code), 0 when it is
// not lost or the reason is not known.
LINTARO_API unsigned long GetCommDeviceLostReason(HANDLE h);

// The device behind an open handle, for a port that knows its kind; null for any other handle.
LINTARO_API CSerialDevice* GetCommDevice(HANDLE h);

// The device path a port name stands for.
LINTARO_API std::string CommDevicePath(const std::string& name);

// A readable reason for an open failure's last-error code, or for the loss of a device.
LINTARO_API std::string DescribeOpenError(unsigned long code);

// Port names that open a device of our own making instead of a file (the scripted device in
// tests). The opener returns null and sets errno to refuse.
using SerialDeviceOpener = std::function<std::unique_ptr<CSerialDevice>()>;
LINTARO_API void RegisterSerialDevice(const std::string& name, SerialDeviceOpener opener);
LINTARO_API void UnregisterSerialDevice(const std::string& name);

} // namespace lintaro
