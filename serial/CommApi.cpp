#include "serial/CommApi.h"

#include "base/Tick.h"
#include "serial/NetAddress.h"
#include "serial/PosixSerialDevice.h"
#include "serial/Rfc2217SerialDevice.h"
#include "serial/SerialDevice.h"
#include "serial/TcpSerialDevice.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_set>

CSerialDevice::~CSerialDevice() = default;

namespace lintaro {

namespace {

// Every open device, so that a stale or foreign handle fails instead of crashing.
std::mutex g_mutex;
std::unordered_set<CSerialDevice*> g_open;
std::map<std::string, SerialDeviceOpener> g_registered;

CSerialDevice* Lookup(HANDLE h) {
    auto* p = static_cast<CSerialDevice*>(h);
    std::lock_guard lock(g_mutex);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || g_open.count(p) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return p;
}

int Result(bool ok) {
    if (!ok) {
        SetLastError(static_cast<unsigned long>(errno));
    }
    return ok ? 1 : 0;
}

} // namespace

std::string CommDevicePath(const std::string& name) {
    std::string n = name;
    if (n.rfind("\\\\.\\", 0) == 0) {
        n = n.substr(4);
    }
    if (n.size() > 3 && std::toupper(static_cast<unsigned char>(n[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(n[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(n[2])) == 'M') {
        bool digits = n.size() <= 6;
        for (std::size_t i = 3; digits && i < n.size(); ++i) {
            digits = std::isdigit(static_cast<unsigned char>(n[i])) != 0;
        }
        if (digits) {
            int number = std::stoi(n.substr(3));
            if (number >= 1) {
                return "/dev/ttyS" + std::to_string(number - 1);
            }
        }
    }
    return name;
}

std::string DescribeOpenError(unsigned long code) {
    switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "no such serial device";
    case EBUSY:
    case EWOULDBLOCK:
        return "the port is held by another program";
    case EACCES:
    case EPERM:
        // Local serial devices belong to the dialout group; membership counts from the next login.
        return "Permission denied: add your user to the dialout group and log in again";
    case ENOTTY:
        return "not a serial device";
    case ECONNREFUSED:
        return "the connection was refused (no device server on that port)";
    case ETIMEDOUT:
        return "the device server did not answer in time";
    case EHOSTUNREACH:
    case ENETUNREACH:
        return "the device server cannot be reached";
    case ECONNRESET:
        return "the device server closed the connection (is its port in use?)";
    case ERROR_BAD_PORT_URL:
        return "not a network port name (socket://HOST:PORT or rfc2217://HOST:PORT)";
    case ERROR_HOST_NOT_FOUND:
        return "unknown host";
    case ERROR_HOST_LOOKUP:
        return "the host name could not be looked up in time";
    case ERROR_NO_COM_CONTROL:
        return "the device server does not offer the COM-port control (RFC 2217)";
    case ERROR_COM_CONTROL_SILENT:
        return "the device server did not answer the COM-port control (RFC 2217) in time";
    case ERROR_LINE_SETTINGS:
        return "the device server did not take the line settings";
    case ERROR_RECEIVE_OVERRUN:
        return "the device server sent more data than the port holds";
    case ERROR_LONG_SUBNEGOTIATION:
        return "the device server sent an overlong Telnet subnegotiation";
    case ERROR_NEGOTIATION_STORM:
        return "the device server keeps negotiating Telnet options";
    case ERROR_SERVICE_ACCESS:
        // The socket is the zarn group's; membership counts from the next login.
        return "Permission denied: the line service is for the members of its group (zarn); "
               "ask to be added and log in again";
    case ERROR_SERVICE_ABSENT:
        return "the line service is not running (no socket at that path)";
    case 0:
        return "the port could not be opened";
    default:
        return std::strerror(static_cast<int>(code));
    }
}

void RegisterSerialDevice(const std::string& name, SerialDeviceOpener opener) {
    std::lock_guard lock(g_mutex);
    g_registered[name] = std::move(opener);
}

void UnregisterSerialDevice(const std::string& name) {
    std::lock_guard lock(g_mutex);
    g_registered.erase(name);
}

HANDLE OpenCommDevice(const char* name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    SerialDeviceOpener opener;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_registered.find(name);
        if (it != g_registered.end()) {
            opener = it->second;
        }
    }
    errno = 0;
    std::unique_ptr<CSerialDevice> device;
    if (opener) {
        device = opener();
    } else if (CNetAddress::IsNetName(name)) {
        CNetAddress address;
        if (!CNetAddress::Parse(name, address)) {
            SetLastError(ERROR_BAD_PORT_URL);
            return INVALID_HANDLE_VALUE;
        }
        device = address.m_nKind == CNetAddress::rfc2217 ? CRfc2217SerialDevice::Open(address)
                                                         : CTcpSerialDevice::Open(address);
    } else {
        device = CPosixSerialDevice::Open(CommDevicePath(name));
    }
    if (!device) {
        SetLastError(static_cast<unsigned long>(errno ? errno : ENOENT));
        return INVALID_HANDLE_VALUE;
    }
    CSerialDevice* p = device.release();
    std::lock_guard lock(g_mutex);
    g_open.insert(p);
    return p;
}

CSerialDevice* GetCommDevice(HANDLE h) {
    return Lookup(h);
}

int CloseHandle(HANDLE h) {
    CSerialDevice* p = Lookup(h);
    if (!p) {
        return 0;
    }
    {
        std::lock_guard lock(g_mutex);
        g_open.erase(p);
    }
    delete p;
    return 1;
}

int SetCommState(HANDLE h, const DCB* dcb) {
    CSerialDevice* p = Lookup(h);
    return p && dcb ? Result(p->SetState(*dcb)) : 0;
}

int GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    CSerialDevice* p = Lookup(h);
    return p && t ? Result(p->GetTimeouts(*t)) : 0;
}

int SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t) {
    CSerialDevice* p = Lookup(h);
    return p && t ? Result(p->SetTimeouts(*t)) : 0;
}

int ReadFile(HANDLE h, void* buffer, unsigned long count, unsigned long* read, OVERLAPPED*) {
    if (read) {
        *read = 0;
    }
    CSerialDevice* p = Lookup(h);
    if (!p || (!buffer && count)) {
        return 0;
    }
    long n = p->Read(static_cast<unsigned char*>(buffer), count);
    if (n < 0) {
        return Result(false);
    }
    if (read) {
        *read = static_cast<unsigned long>(n);
    }
    return 1;
}

int WriteFile(HANDLE h, const void* buffer, unsigned long count, unsigned long* written,
              OVERLAPPED*) {
    if (written) {
        *written = 0;
    }
    CSerialDevice* p = Lookup(h);
    if (!p || (!buffer && count)) {
        return 0;
    }
    long n = p->Write(static_cast<const unsigned char*>(buffer), count);
    if (n < 0) {
        return Result(false);
    }
    if (written) {
        *written = static_cast<unsigned long>(n);
    }
    return static_cast<unsigned long>(n) == count ? 1 : Result(false);
}

int PurgeComm(HANDLE h, unsigned long flags) {
    CSerialDevice* p = Lookup(h);
    return p ? Result(p->Purge(flags)) : 0;
}

int EscapeCommFunction(HANDLE h, unsigned long function) {
    CSerialDevice* p = Lookup(h);
    return p ? Result(p->Escape(function)) : 0;
}

int SetCommBreak(HANDLE h) {
    return EscapeCommFunction(h, SETBREAK);
}

int ClearCommBreak(HANDLE h) {
    return EscapeCommFunction(h, CLRBREAK);
}

int GetCommModemStatus(HANDLE h, unsigned long* status) {
    CSerialDevice* p = Lookup(h);
    if (!p || !status) {
        return 0;
    }
    return Result(p->GetModemStatus(*status));
}

int IsCommDeviceLost(HANDLE h) {
    CSerialDevice* p = Lookup(h);
    return p != nullptr && p->IsLost() ? 1 : 0;
}

unsigned long GetCommDeviceLostReason(HANDLE h) {
    CSerialDevice* p = Lookup(h);
    return p != nullptr && p->IsLost() ? static_cast<unsigned long>(p->LostReason()) : 0;
}

CReadPlan PlanRead(const COMMTIMEOUTS& t, std::size_t count) {
    CReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        plan.kind = CReadPlan::immediate;
        return plan;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        plan.kind = CReadPlan::firstByte;
        plan.nTotalMs = t.ReadTotalTimeoutConstant;
        return plan;
    }
    std::uint64_t total =
        std::uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
    plan.nIntervalMs = t.ReadIntervalTimeout == MAXDWORD ? 0 : t.ReadIntervalTimeout;
    if (total == 0) {
        // Without any limit the platform would wait for the full count forever; a line that
        // never delivers would hang the caller, so such a read takes only what has arrived
        // (or waits out the interval limit after the first byte).
        plan.kind = plan.nIntervalMs ? CReadPlan::total : CReadPlan::immediate;
        plan.nTotalMs = plan.nIntervalMs;
        return plan;
    }
    plan.kind = CReadPlan::total;
    plan.nTotalMs = total > MAXDWORD - 1 ? MAXDWORD - 1 : static_cast<std::uint32_t>(total);
    return plan;
}

} // namespace lintaro
