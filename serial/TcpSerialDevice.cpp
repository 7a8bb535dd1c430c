#include "serial/TcpSerialDevice.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lintaro;

std::unique_ptr<CSerialDevice> CTcpSerialDevice::Open(const CNetAddress& address) {
    const int fd = address.Connect(kConnectTimeoutMs);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<CSerialDevice>(new CTcpSerialDevice(fd));
}

CTcpSerialDevice::~CTcpSerialDevice() {
    if (!m_bLost && ::shutdown(m_fd, SHUT_WR) == 0) {
        // Wait for the server's end of the connection, dropping whatever still comes.
        const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
        for (;;) {
            const int wait = RemainingMs(deadline);
            pollfd pfd{m_fd, POLLIN, 0};
            const int r = ::poll(&pfd, 1, wait);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                break;
            }
            unsigned char sink[512];
            const ssize_t n = ::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                break;
            }
        }
    }
    ::close(m_fd);
}

int CTcpSerialDevice::RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    // Round up so that poll does not wake a fraction of a millisecond early and spin.
    return static_cast<int>(left.count()) + 1;
}

bool CTcpSerialDevice::Lose(int error) {
    if (!m_bLost) {
        m_bLost = true;
        ::shutdown(m_fd, SHUT_RDWR);
    }
    errno = error;
    return false;
}

bool CTcpSerialDevice::CheckConnected() {
    if (m_bLost) {
        errno = ENOTCONN;
        return false;
    }
    return true;
}

bool CTcpSerialDevice::SetState(const DCB& dcb) {
    if (!CheckConnected()) {
        return false;
    }
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool CTcpSerialDevice::GetTimeouts(COMMTIMEOUTS& t) {
    t = m_timeouts;
    return true;
}

bool CTcpSerialDevice::SetTimeouts(const COMMTIMEOUTS& t) {
    m_timeouts = t;
    return true;
}

void CTcpSerialDevice::Absorb(const unsigned char* bytes, std::size_t count) {
    m_data.insert(m_data.end(), bytes, bytes + count);
}

void CTcpSerialDevice::Encode(const unsigned char* data, std::size_t count,
                              std::vector<unsigned char>& out) {
    out.assign(data, data + count);
}

std::size_t CTcpSerialDevice::Carried(const unsigned char*, std::size_t count,
                                      std::size_t sent) const {
    return std::min(count, sent);
}

bool CTcpSerialDevice::Receive(Clock::time_point deadline) {
    if (!CheckConnected()) {
        return false;
    }
    bool waited = false;
    for (;;) {
        unsigned char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            // Acknowledge at once: a server that sends an answer and then the line's data in
            // two small segments (Nagle's algorithm on its side) would otherwise wait for our
            // delayed acknowledgement, 40 ms on Linux, before the data.
            const int one = 1;
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            Absorb(chunk, static_cast<std::size_t>(n));
            if (m_bLost) {
                return false; // an answer to the server could not be sent
            }
            waited = true; // something came: take the rest without waiting again
            continue;
        }
        if (n == 0) {
            return Lose(ECONNRESET); // the server closed the connection
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Lose(ECONNRESET);
        }
        if (waited) {
            return true;
        }
        waited = true;
        const int wait = RemainingMs(deadline);
        if (wait == 0) {
            return true;
        }
        pollfd pfd{m_fd, POLLIN, 0};
        int r;
        while ((r = ::poll(&pfd, 1, wait)) < 0 && errno == EINTR) {
        }
        if (r <= 0) {
            return r == 0 ? true : Lose(ECONNRESET);
        }
        // Readable, hung up or failed: the recv above tells which.
    }
}

bool CTcpSerialDevice::SendAll(const unsigned char* bytes, std::size_t count, std::size_t* pSent) {
    std::size_t done = 0;
    auto stallDeadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
    bool ok = CheckConnected();
    while (ok && done < count) {
        const ssize_t n = ::send(m_fd, bytes + done, count - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stallDeadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            ok = Lose(EPIPE);
            break;
        }
        const int wait = RemainingMs(stallDeadline);
        if (wait == 0) {
            ok = Lose(EPIPE); // the server has stopped taking bytes
            break;
        }
        pollfd pfd{m_fd, POLLOUT, 0};
        if (::poll(&pfd, 1, wait) < 0 && errno != EINTR) {
            ok = Lose(EPIPE);
        }
    }
    if (pSent) {
        *pSent = done;
    }
    return ok;
}

std::size_t CTcpSerialDevice::Take(unsigned char* buffer, std::size_t count) {
    const std::size_t n = std::min(count, m_data.size());
    std::copy_n(m_data.begin(), n, buffer);
    m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

long CTcpSerialDevice::Read(unsigned char* buffer, std::size_t count) {
    const CReadPlan plan = PlanRead(m_timeouts, count);
    const auto deadline = Clock::now() + std::chrono::milliseconds(plan.nTotalMs);
    Clock::time_point gapDeadline = Clock::time_point::max();
    std::size_t got = 0;
    while (got < count) {
        const std::size_t took = Take(buffer + got, count - got);
        if (took > 0) {
            got += took;
            if (plan.kind == CReadPlan::firstByte) {
                break;
            }
            if (plan.nIntervalMs) {
                gapDeadline = Clock::now() + std::chrono::milliseconds(plan.nIntervalMs);
            }
            continue;
        }
        const auto until =
            plan.kind == CReadPlan::immediate ? Clock::now() : std::min(deadline, gapDeadline);
        const bool last = RemainingMs(until) == 0;
        if (!Receive(until)) {
            // What came before the connection dropped is still delivered.
            return got ? static_cast<long>(got) : -1;
        }
        if (last && m_data.empty()) {
            break;
        }
    }
    return static_cast<long>(got);
}

long CTcpSerialDevice::Write(const unsigned char* data, std::size_t count) {
    if (!CheckConnected()) {
        return -1;
    }
    std::vector<unsigned char> wire;
    Encode(data, count, wire);
    std::size_t sent = 0;
    if (SendAll(wire.data(), wire.size(), &sent)) {
        return static_cast<long>(count);
    }
    const int e = errno;
    const std::size_t carried = Carried(data, count, sent);
    errno = e;
    return carried ? static_cast<long>(carried) : -1;
}

bool CTcpSerialDevice::Purge(unsigned long flags) {
    if ((flags & PURGE_RXCLEAR) == 0) {
        return CheckConnected();
    }
    // What has reached us belongs to an earlier exchange; what the server still holds or has
    // on its way cannot be called back over raw TCP.
    const bool ok = Receive(Clock::now());
    m_data.clear();
    return ok;
}

bool CTcpSerialDevice::Escape(unsigned long function) {
    if (!CheckConnected()) {
        return false;
    }
    switch (function) {
    case SETRTS:
    case CLRRTS:
    case SETDTR:
    case CLRDTR:
    case SETBREAK:
    case CLRBREAK:
    case SETXOFF:
    case SETXON:
        return true; // raw TCP carries no line control
    default:
        errno = EINVAL;
        return false;
    }
}

bool CTcpSerialDevice::GetModemStatus(unsigned long& status) {
    if (!CheckConnected()) {
        return false;
    }
    status = 0;
    return true;
}
