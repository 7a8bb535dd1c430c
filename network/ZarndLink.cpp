#include "network/ZarndLink.h"

#include "serial/CommApi.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for the socket to be ready by the deadline; false on a time-out or an error.
bool WaitReady(int fd, short events, std::int64_t deadlineMs) {
    for (;;) {
        const std::int64_t left = deadlineMs - NowMs();
        if (left <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 60000)));
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
}

} // namespace

std::unique_ptr<CSerialDevice> CZarndLink::Connect(const std::string& name) {
    if (!IsLinkName(name)) {
        errno = EINVAL;
        return nullptr;
    }
    const std::string path = name.substr(std::strlen(kScheme));
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        ::close(fd);
        // Said as what they mean for a service, not for a serial device.
        if (error == EACCES || error == EPERM) {
            error = static_cast<int>(lintaro::ERROR_SERVICE_ACCESS);
        } else if (error == ENOENT || error == ECONNREFUSED) {
            error = static_cast<int>(lintaro::ERROR_SERVICE_ABSENT);
        }
        errno = error;
        return nullptr;
    }
    return std::unique_ptr<CSerialDevice>(new CZarndLink(fd));
}

CZarndLink::~CZarndLink() {
    Lose();
}

void CZarndLink::Lose() {
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}

bool CZarndLink::GetTimeouts(lintaro::COMMTIMEOUTS& t) {
    t = m_timeouts;
    return true;
}

bool CZarndLink::SetTimeouts(const lintaro::COMMTIMEOUTS& t) {
    m_timeouts = t;
    return true;
}

long CZarndLink::Read(unsigned char*, std::size_t) {
    errno = EOPNOTSUPP;
    return -1;
}

long CZarndLink::Write(const unsigned char*, std::size_t) {
    errno = EOPNOTSUPP;
    return -1;
}

bool CZarndLink::Escape(unsigned long) {
    errno = EOPNOTSUPP;
    return false;
}

bool CZarndLink::GetModemStatus(unsigned long&) {
    errno = EOPNOTSUPP;
    return false;
}

bool CZarndLink::WriteAll(const std::vector<std::uint8_t>& bytes) {
    const std::int64_t deadline = NowMs() + 10000;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_nFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(m_nFd, POLLOUT, deadline)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

bool CZarndLink::ReadFrame(std::vector<std::uint8_t>& payload, std::int64_t deadlineMs) {
    std::uint8_t chunk[8192];
    // A short call's answer comes within tens of microseconds: waiting for it awake a moment
    // before sleeping spares a wake-up from another core, which is most of what the detour
    // through the service costs. Not on one core, where it would keep the service waiting.
    static const bool bSpin = std::thread::hardware_concurrency() > 1;
    const auto awakeUntil =
        std::chrono::steady_clock::now() + (bSpin ? kAwakeWait : std::chrono::microseconds(0));
    while (!m_reader.Next(payload)) {
        if (m_reader.IsBroken()) {
            return false;
        }
        ssize_t n = ::recv(m_nFd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (std::chrono::steady_clock::now() < awakeUntil) {
                continue;
            }
            if (!WaitReady(m_nFd, POLLIN, deadlineMs)) {
                return false;
            }
            n = ::recv(m_nFd, chunk, sizeof chunk, MSG_DONTWAIT);
        }
        if (n == 0) {
            return false;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return false;
        }
        if (!m_reader.Feed(chunk, static_cast<std::size_t>(n))) {
            return false;
        }
    }
    return true;
}

bool CZarndLink::Exchange(const CZarnCall& call, CZarnOutcome& outcome) {
    if (m_nFd < 0) {
        return false;
    }
    const std::uint32_t id = m_nNextId++;
    if (!WriteAll(ZarndMessage::Frame(ZarndMessage::EncodeRequest(id, call)))) {
        Lose();
        return false;
    }
    // The call's own time-out runs from when it reaches the line, not while others have it.
    std::int64_t deadline = NowMs() + kTurnTimeoutMs;
    bool bStarted = false;
    std::vector<std::uint8_t> payload;
    while (ReadFrame(payload, deadline)) {
        std::uint32_t got = 0;
        if (!bStarted && ZarndMessage::DecodeStarted(payload, got) && got == id) {
            bStarted = true;
            // Some slack over the line's own bound for the service's scheduling.
            deadline = NowMs() + call.LineBudgetMs() + 5000;
            continue;
        }
        // A refused call is answered without ever starting.
        if (ZarndMessage::DecodeOutcome(payload, got, outcome) && got == id) {
            return true;
        }
        break; // anything else is a service that no longer speaks to us sensibly
    }
    Lose();
    return false;
}

bool CZarndLink::Report(CZarndReport& report) {
    if (m_nFd < 0) {
        return false;
    }
    const std::uint32_t id = m_nNextId++;
    std::vector<std::uint8_t> payload;
    std::uint32_t got = 0;
    if (WriteAll(ZarndMessage::Frame(ZarndMessage::EncodeReportRequest(id))) &&
        ReadFrame(payload, NowMs() + kReportTimeoutMs) &&
        ZarndMessage::DecodeReport(payload, got, report) && got == id) {
        return true;
    }
    Lose();
    return false;
}
