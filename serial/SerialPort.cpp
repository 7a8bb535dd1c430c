#include "serial/SerialPort.h"

#include "base/Archive.h"
#include "base/Tick.h"
#include "serial/MessageBox.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace lintaro;

namespace {

COMMTIMEOUTS g_readTimeouts{0, 0, 500, 0, 0};
COMMTIMEOUTS g_writeTimeouts{0, 0, 0, 0, 0};
COMMTIMEOUTS g_savedTimeouts{0, 0, 0, 0, 0};

constexpr unsigned long kFileChunk = 1024;

} // namespace

COMMTIMEOUTS& CSerialPort::ReadTimeouts() {
    return g_readTimeouts;
}
COMMTIMEOUTS& CSerialPort::WriteTimeouts() {
    return g_writeTimeouts;
}
COMMTIMEOUTS& CSerialPort::SavedTimeouts() {
    return g_savedTimeouts;
}

CSerialPort::CSerialPort(char const* port, unsigned long baud, unsigned char parity,
                         unsigned char stop)
    : m_hPort(INVALID_HANDLE_VALUE), m_strPort(port ? port : ""), m_dcb{}, m_dwTxTimeout(500),
      m_dwRxTimeout(500) {
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = static_cast<std::uint32_t>(baud);
    m_dcb.fBinary = 1;
    m_dcb.ByteSize = 8;
    m_dcb.Parity = parity;
    m_dcb.StopBits = stop;
    g_readTimeouts = COMMTIMEOUTS{0, 0, 500, 0, 0};
    g_writeTimeouts = COMMTIMEOUTS{0, 0, 0, 0, 0};
}

CSerialPort::~CSerialPort() {
    if (m_hPort != INVALID_HANDLE_VALUE) {
        SetCommTimeouts(m_hPort, &g_savedTimeouts);
        CloseHandle(m_hPort);
    }
}

int CSerialPort::SetCommPort() {
    if (m_hPort != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hPort);
        m_hPort = INVALID_HANDLE_VALUE;
    }
    m_hPort = OpenCommDevice(m_strPort.c_str());
    if (m_hPort == INVALID_HANDLE_VALUE) {
        m_dwOpenError = GetLastError();
        return 0;
    }
    m_dwOpenError = 0;
    GetCommTimeouts(m_hPort, &g_savedTimeouts);
    if (!SetCommState(m_hPort, &m_dcb)) {
        // The device opened but refused the line settings (a device server may, too).
        m_dwOpenError = GetLastError();
        return 0;
    }
    return 1;
}

void CSerialPort::ClosePort() {
    if (m_hPort != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hPort);
        m_hPort = INVALID_HANDLE_VALUE;
    }
}

bool CSerialPort::IsLineLost() const {
    return m_hPort != INVALID_HANDLE_VALUE && IsCommDeviceLost(m_hPort) != 0;
}

unsigned long CSerialPort::GetLineLostReason() const {
    return m_hPort != INVALID_HANDLE_VALUE ? GetCommDeviceLostReason(m_hPort) : 0;
}

int CSerialPort::ChangeComPort(char const* name) {
    m_strPort = name ? name : "";
    return SetCommPort();
}

int CSerialPort::SetBaudRate(unsigned long rate, int reopen) {
    m_dcb.BaudRate = static_cast<std::uint32_t>(rate);
    if (reopen) {
        return SetCommPort();
    }
    return SetCommState(m_hPort, &m_dcb);
}

int CSerialPort::SetPortInfo(DCB* dcb) {
    if (dcb == nullptr) {
        return 0;
    }
    std::memcpy(&m_dcb, dcb, sizeof(DCB));
    return SetCommState(m_hPort, &m_dcb);
}

int CSerialPort::WriteFrame(unsigned char* data, int count) {
    if (!SetCommTimeouts(m_hPort, &g_writeTimeouts)) {
        return 0;
    }
    if (count < 0 || (data == nullptr && count > 0)) {
        return 0;
    }
    unsigned long written = 0;
    WriteFile(m_hPort, data, static_cast<unsigned long>(count), &written, nullptr);
    return written == static_cast<unsigned long>(count) ? 1 : 0;
}

unsigned long CSerialPort::ReadFrame(unsigned char* buffer, unsigned long count, OVERLAPPED*) {
    if (!SetCommTimeouts(m_hPort, &g_readTimeouts)) {
        return 0;
    }
    unsigned long read = 0;
    ReadFile(m_hPort, buffer, count, &read, nullptr);
    return read;
}

int CSerialPort::FlushComms() {
    return PurgeComm(m_hPort, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

int CSerialPort::SetBreak() {
    return SetCommBreak(m_hPort);
}

int CSerialPort::ClearBreak() {
    return ClearCommBreak(m_hPort);
}

int CSerialPort::EscapeIfOpen(unsigned long function) {
    if (m_hPort == INVALID_HANDLE_VALUE) {
        return 0;
    }
    return EscapeCommFunction(m_hPort, function);
}

int CSerialPort::SetRequestToSend() {
    return EscapeIfOpen(SETRTS);
}
int CSerialPort::ClearRequestToSend() {
    return EscapeIfOpen(CLRRTS);
}
int CSerialPort::SetDTR() {
    return EscapeIfOpen(SETDTR);
}
int CSerialPort::ClearDTR() {
    return EscapeIfOpen(CLRDTR);
}

void CSerialPort::SetRxTimeout(unsigned long ms) {
    m_dwRxTimeout = ms;
    g_readTimeouts.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(ms);
}

void CSerialPort::Delay(unsigned long ms) {
    const std::uint32_t start = static_cast<std::uint32_t>(GetTickCount());
    const std::uint32_t wanted = static_cast<std::uint32_t>(ms);
    for (;;) {
        const std::uint32_t now = static_cast<std::uint32_t>(GetTickCount());
        std::uint32_t elapsed = now - start;
        if (now < start) {
            elapsed = now - start - 1;
        }
        if (elapsed > wanted) {
            return;
        }
        // Sleep rather than spin: the wait ends at the same tick, without burning a processor.
        Sleep(wanted - elapsed + 1);
    }
}

int CSerialPort::WaitForCommEvent(unsigned long) {
    return 1;
}

int CSerialPort::PerformFileDownload(char const* path) {
    int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        SetLastError(1);
        return 0;
    }
    unsigned char chunk[kFileChunk];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // A read error mid-file is not the clean end of the file.
            ::close(fd);
            SetLastError(1);
            return 0;
        }
        if (n == 0) {
            break;
        }
        if (!WriteFrame(chunk, static_cast<int>(n))) {
            ::close(fd);
            SetLastError(2);
            return 0;
        }
    }
    ::close(fd);
    return 1;
}

void CSerialPort::LoopRead() {
    unsigned char buf[3] = {0, 0, 0};
    unsigned long read = 0;
    if (ReadFile(m_hPort, buf, 2, &read, nullptr) && read > 0) {
        ShowLibraryMessage(std::string(reinterpret_cast<char*>(buf)));
    }
    unsigned char banana[7] = {'b', 'a', 'n', 'a', 'n', 'a', 0};
    WriteFrame(banana, 7);
}

void CSerialPort::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_strPort);
    } else {
        m_strPort = ar.ReadString();
    }
}
