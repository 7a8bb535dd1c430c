#pragma once

#include "serial/SerialDevice.h"

#include <memory>
#include <string>
#include <termios.h>

// A terminal device through termios: opened exclusively (TIOCEXCL and an flock, so a second
// opener fails even as root), raw mode, reads under one deadline on the steady clock.
class LINTARO_API CPosixSerialDevice : public CSerialDevice {
public:
    // Null with errno set when the device cannot be opened or is held by another opener.
    static std::unique_ptr<CSerialDevice> Open(const std::string& path);
    ~CPosixSerialDevice() override;

    bool SetState(const lintaro::DCB& dcb) override;
    bool GetTimeouts(lintaro::COMMTIMEOUTS& t) override;
    bool SetTimeouts(const lintaro::COMMTIMEOUTS& t) override;
    long Read(unsigned char* buffer, std::size_t count) override;
    long Write(const unsigned char* data, std::size_t count) override;
    bool Purge(unsigned long flags) override;
    bool Escape(unsigned long function) override;
    bool GetModemStatus(unsigned long& status) override;
    bool IsLost() const override { return m_bLost; }

    int GetFd() const { return m_fd; }

    // The terminal settings a control block asks for, made from the device's current ones:
    // raw mode, speed, word size, parity, stop bits and flow control. False (errno EINVAL) for
    // a setting the device has not got.
    static bool MakeTermios(const lintaro::DCB& dcb, struct termios& tio);

    // A write that makes no progress for this long fails: the line has no flow control, so a
    // driver that stops taking bytes means the device is gone or wedged.
    static constexpr int kWriteStallMs = 5000;

private:
    explicit CPosixSerialDevice(int fd) : m_fd(fd) {}
    bool ModemBits(int request, int bits);
    // Errors that mean the device is gone, not merely busy or slow.
    void NoteError(int error);

    int m_fd;
    lintaro::COMMTIMEOUTS m_timeouts{};
    // The lines' control modes last applied; a terminal opens with both lines raised.
    unsigned m_nDtrControl = 1;
    unsigned m_nRtsControl = 1;
    bool m_bLost = false;
};
