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
            if (wait == 0) {
                break; // a server that never stops sending is not waited for
            }
            pollfd pfd{m_fd, POLLIN, 0};
            const int r = ::poll(&pfd, 1, wait);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                break;
            }
            unsigned char sink[4096];
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
        m_nLostError = error;
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

long CTcpSerialDevice::Receive(Clock::time_point deadline) {
    if (!CheckConnected()) {
        return -1;
    }
    for (;;) {
        // Every network byte carries at most one byte of line data, so a piece no larger than
        // the room left never overfills it; with no room the server waits in TCP.
        const std::size_t room = kReceiveLimit - std::min(kReceiveLimit, m_data.size());
        if (room == 0) {
            return 0;
        }
        unsigned char chunk[kReceiveLimit];
        const ssize_t n = ::recv(m_fd, chunk, room, MSG_DONTWAIT);
        if (n > 0) {
            // Acknowledge at once: a server that sends an answer and then the line's data in
            // two small segments (Nagle's algorithm on its side) would otherwise wait for our
            // delayed acknowledgement, 40 ms on Linux, before the data.
            const int one = 1;
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            Absorb(chunk, static_cast<std::size_t>(n));
            if (m_bLost) {
                errno = m_nLostError; // an answer could not be sent, or the server broke rules
                return -1;
            }
            return static_cast<long>(n);
        }
        if (n == 0) {
            Lose(ECONNRESET); // the server closed the connection
            return -1;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            Lose(ECONNRESET);
            return -1;
        }
        const int wait = RemainingMs(deadline);
        if (wait == 0) {
            return 0;
        }
        pollfd pfd{m_fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, wait);
        if (r < 0 && errno != EINTR) {
            Lose(ECONNRESET);
            return -1;
        }
        if (r == 0) {
            return 0;
        }
        // Readable, hung up or failed (or a signal): the recv above tells which.
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
    StartRead();
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
        // Checked before every piece, so that a server which never pauses (Telnet commands
        // without end, say) cannot stretch the read.
        const bool last = RemainingMs(until) == 0;
        if (Receive(until) < 0) {
            // What came before the connection dropped is still delivered.
            const int e = errno;
            got += Take(buffer + got, count - got);
            errno = e;
            return got ? static_cast<long>(got) : -1;
        }
        if (last && m_data.empty()) {
            break;
        }
    }
    return static_cast<long>(got);
}

long CTcpSerialDevice::Transmit(const unsigned char* data, std::size_t count) {
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

long CTcpSerialDevice::Write(const unsigned char* data, std::size_t count) {
    if (!CheckConnected()) {
        return -1;
    }
    if (m_nHolders == 0) {
        return Transmit(data, count);
    }
    // Held back as a terminal holds its output: taken while there is room, and a write that
    // finds none waits for the transmission to resume, at most the stall time.
    const auto stallDeadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
    std::size_t queued = 0;
    for (;;) {
        if (m_nHolders == 0) {
            // Resumed while this write waited: what was held has gone, the rest follows.
            const long rest = Transmit(data + queued, count - queued);
            return rest < 0 && queued == 0 ? -1 : static_cast<long>(queued) + std::max(rest, 0L);
        }
        const std::size_t n = std::min(kSendQueueLimit - m_held.size(), count - queued);
        m_held.insert(m_held.end(), data + queued, data + queued + n);
        queued += n;
        if (queued == count) {
            return static_cast<long>(count);
        }
        const int wait = RemainingMs(stallDeadline);
        if (wait == 0) {
            errno = ETIMEDOUT;
            return static_cast<long>(queued);
        }
        if (IsFull()) {
            // Nothing more can be taken in, so the server's resume cannot be seen either.
            ::poll(nullptr, 0, wait);
        } else if (Receive(stallDeadline) < 0) {
            return queued ? static_cast<long>(queued) : -1;
        }
    }
}

bool CTcpSerialDevice::Hold(Holder holder, bool bHold) {
    if (bHold) {
        m_nHolders |= holder;
        return true;
    }
    m_nHolders &= ~static_cast<unsigned>(holder);
    if (m_nHolders != 0 || m_held.empty()) {
        return true;
    }
    std::vector<unsigned char> held;
    held.swap(m_held);
    return Transmit(held.data(), held.size()) == static_cast<long>(held.size());
}

bool CTcpSerialDevice::Purge(unsigned long flags) {
    if (!CheckConnected()) {
        return false;
    }
    if (flags & PURGE_TXCLEAR) {
        m_held.clear();
    }
    if ((flags & PURGE_RXCLEAR) == 0) {
        return true;
    }
    // What has reached us belongs to an earlier exchange; what the server still holds or has
    // on its way cannot be called back over raw TCP. A server that never stops sending is
    // drained only so far.
    for (std::size_t taken = 0; taken < 4 * kReceiveLimit;) {
        const long n = Receive(Clock::now());
        m_data.clear();
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        taken += static_cast<std::size_t>(n);
    }
    return true;
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
        return true; // raw TCP carries no line control
    case SETXOFF:
        return Hold(heldLocally, true);
    case SETXON:
        return Hold(heldLocally, false);
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
