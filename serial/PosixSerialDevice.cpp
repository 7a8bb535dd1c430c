#include "serial/PosixSerialDevice.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace lintaro;

namespace {

using Clock = std::chrono::steady_clock;

bool SpeedOf(std::uint32_t baud, speed_t& speed) {
    static const std::pair<std::uint32_t, speed_t> kRates[] = {
        {110, B110},       {300, B300},       {600, B600},         {1200, B1200},
        {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},
        {38400, B38400},   {57600, B57600},   {115200, B115200},   {230400, B230400},
        {460800, B460800}, {921600, B921600}, {1000000, B1000000},
    };
    for (const auto& [rate, code] : kRates) {
        if (rate == baud) {
            speed = code;
            return true;
        }
    }
    return false;
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    // Round up so that poll does not wake a fraction of a millisecond early and spin.
    return static_cast<int>(left.count()) + 1;
}

} // namespace

std::unique_ptr<CSerialDevice> CPosixSerialDevice::Open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        int e = errno;
        ::close(fd);
        errno = e == EINVAL ? ENOTTY : e;
        return nullptr;
    }
    // Exclusive like the platform's COM ports: the lock catches every later opener, root
    // included; TIOCEXCL also stops programs that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        errno = EBUSY;
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    return std::unique_ptr<CSerialDevice>(new CPosixSerialDevice(fd));
}

CPosixSerialDevice::~CPosixSerialDevice() {
    // Leave the terminal open to others again; the flag outlives this descriptor otherwise.
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

bool CPosixSerialDevice::MakeTermios(const DCB& dcb, struct termios& tio) {
    speed_t speed;
    if (!SpeedOf(dcb.BaudRate, speed) || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
        dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) {
        errno = EINVAL;
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case ODDPARITY:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        tio.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.StopBits != ONESTOPBIT) {
        tio.c_cflag |= CSTOPB; // one and a half stop bits exist only for 5-bit words
    }
    if (dcb.fParity) {
        tio.c_iflag |= INPCK;
    }
    if (dcb.fOutxCtsFlow) {
        tio.c_cflag |= CRTSCTS;
    }
    if (dcb.fOutX) {
        tio.c_iflag |= IXON;
    }
    if (dcb.fInX) {
        tio.c_iflag |= IXOFF;
    }
    if (dcb.fOutX || dcb.fInX) {
        tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    // With a minimum of one an empty non-blocking read says EAGAIN rather than 0.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return true;
}

bool CPosixSerialDevice::SetState(const DCB& dcb) {
    struct termios tio;
    if (::tcgetattr(m_fd, &tio) != 0 || !MakeTermios(dcb, tio)) {
        return false;
    }
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        return false;
    }
    // As the platform's driver does, a line's control mode acts only when it changes: the
    // first block after opening drops (or raises) DTR and RTS, later ones leave them where
    // the modem-line operations put them. Devices without modem lines ignore this.
    if (dcb.fDtrControl != m_nDtrControl && dcb.fDtrControl <= 1) {
        ModemBits(dcb.fDtrControl ? TIOCMBIS : TIOCMBIC, TIOCM_DTR);
    }
    if (dcb.fRtsControl != m_nRtsControl && dcb.fRtsControl <= 1) {
        ModemBits(dcb.fRtsControl ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
    }
    m_nDtrControl = dcb.fDtrControl;
    m_nRtsControl = dcb.fRtsControl;
    return true;
}

bool CPosixSerialDevice::GetTimeouts(COMMTIMEOUTS& t) {
    t = m_timeouts;
    return true;
}

bool CPosixSerialDevice::SetTimeouts(const COMMTIMEOUTS& t) {
    m_timeouts = t;
    return true;
}

long CPosixSerialDevice::Read(unsigned char* buffer, std::size_t count) {
    const CReadPlan plan = PlanRead(m_timeouts, count);
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(plan.nTotalMs);
    Clock::time_point gapDeadline = Clock::time_point::max();
    std::size_t got = 0;
    bool hungUp = false;
    while (got < count) {
        ssize_t n = ::read(m_fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            if (plan.kind == CReadPlan::firstByte) {
                break;
            }
            if (plan.nIntervalMs) {
                gapDeadline = Clock::now() + std::chrono::milliseconds(plan.nIntervalMs);
            }
            continue;
        }
        if (n == 0) {
            // No data now (a terminal without a minimum count reports that as 0), or the
            // other side of a pseudo-terminal has gone, which the poll below tells apart.
            if (hungUp) {
                m_bLost = true;
                break;
            }
            errno = EAGAIN;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // A vanished device (EIO on a hung-up terminal) ends the read with what came.
            NoteError(errno);
            return got ? static_cast<long>(got) : -1;
        }
        if (plan.kind == CReadPlan::immediate) {
            break;
        }
        auto until = deadline < gapDeadline ? deadline : gapDeadline;
        int wait = RemainingMs(until);
        if (wait == 0) {
            break;
        }
        struct pollfd pfd {
            m_fd, POLLIN, 0
        };
        int r = ::poll(&pfd, 1, wait);
        if (r < 0 && errno != EINTR) {
            return got ? static_cast<long>(got) : -1;
        }
        if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL))) {
            m_bLost = true;
            errno = EIO;
            return got ? static_cast<long>(got) : -1;
        }
        if (r > 0 && (pfd.revents & POLLHUP)) {
            if (!(pfd.revents & POLLIN)) {
                m_bLost = true;
                break;
            }
            hungUp = true;
        }
    }
    return static_cast<long>(got);
}

long CPosixSerialDevice::Write(const unsigned char* data, std::size_t count) {
    std::size_t done = 0;
    auto stallDeadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
    while (done < count) {
        ssize_t n = ::write(m_fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stallDeadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            NoteError(errno);
            return done ? static_cast<long>(done) : -1;
        }
        int wait = RemainingMs(stallDeadline);
        if (wait == 0) {
            errno = ETIMEDOUT;
            return static_cast<long>(done);
        }
        struct pollfd pfd {
            m_fd, POLLOUT, 0
        };
        int r = ::poll(&pfd, 1, wait);
        if (r < 0 && errno != EINTR) {
            return done ? static_cast<long>(done) : -1;
        }
        if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            m_bLost = true;
            errno = EIO;
            return done ? static_cast<long>(done) : -1;
        }
    }
    return static_cast<long>(done);
}

void CPosixSerialDevice::NoteError(int error) {
    switch (error) {
    case EIO:
    case ENODEV:
    case ENXIO:
    case EBADF:
    case EPIPE:
        m_bLost = true;
        break;
    default:
        break;
    }
}

bool CPosixSerialDevice::Purge(unsigned long flags) {
    bool tx = (flags & PURGE_TXCLEAR) != 0;
    bool rx = (flags & PURGE_RXCLEAR) != 0;
    if (tx && rx) {
        return ::tcflush(m_fd, TCIOFLUSH) == 0;
    }
    if (tx) {
        return ::tcflush(m_fd, TCOFLUSH) == 0;
    }
    if (rx) {
        return ::tcflush(m_fd, TCIFLUSH) == 0;
    }
    return true;
}

bool CPosixSerialDevice::ModemBits(int request, int bits) {
    return ::ioctl(m_fd, static_cast<unsigned long>(request), &bits) == 0;
}

bool CPosixSerialDevice::Escape(unsigned long function) {
    switch (function) {
    case SETRTS:
        return ModemBits(TIOCMBIS, TIOCM_RTS);
    case CLRRTS:
        return ModemBits(TIOCMBIC, TIOCM_RTS);
    case SETDTR:
        return ModemBits(TIOCMBIS, TIOCM_DTR);
    case CLRDTR:
        return ModemBits(TIOCMBIC, TIOCM_DTR);
    case SETBREAK:
        return ::ioctl(m_fd, TIOCSBRK) == 0;
    case CLRBREAK:
        return ::ioctl(m_fd, TIOCCBRK) == 0;
    case SETXOFF:
        return ::tcflow(m_fd, TCOOFF) == 0;
    case SETXON:
        return ::tcflow(m_fd, TCOON) == 0;
    default:
        errno = EINVAL;
        return false;
    }
}

bool CPosixSerialDevice::GetModemStatus(unsigned long& status) {
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0) {
        return false;
    }
    status = 0;
    if (bits & TIOCM_CTS) {
        status |= MS_CTS_ON;
    }
    if (bits & TIOCM_DSR) {
        status |= MS_DSR_ON;
    }
    if (bits & TIOCM_RI) {
        status |= MS_RING_ON;
    }
    if (bits & TIOCM_CD) {
        status |= MS_RLSD_ON;
    }
    return true;
}
