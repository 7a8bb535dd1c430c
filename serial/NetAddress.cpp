#include "serial/NetAddress.h"

#include "serial/CommApi.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace lintaro;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kRawScheme = "socket://";
constexpr const char* kTelnetScheme = "rfc2217://";

// A device server that vanishes (power cut, cable pulled) sends nothing more: without these a
// request's write would sit unacknowledged for many minutes before the connection failed.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 3;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = 8000;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count()) + 1;
}

struct AddrInfoFree {
    void operator()(addrinfo* p) const {
        if (p) {
            ::freeaddrinfo(p);
        }
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoFree>;

// The system's resolver has no time-out of its own (a dead name server costs tens of
// seconds), so a name is looked up on a thread of its own and waited for only until the
// deadline; a late answer is thrown away by that thread.
struct CLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool bDone = false;
    int nResult = EAI_AGAIN;
    AddrList list;
};

AddrList Resolve(const std::string& host, unsigned port, Clock::time_point deadline,
                 unsigned long& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) {
        return AddrList(found);
    }
    auto lookup = std::make_shared<CLookup>();
    hints.ai_flags = AI_NUMERICSERV;
    std::thread([lookup, host, service, hints] {
        addrinfo* result = nullptr;
        const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
        std::lock_guard lock(lookup->mutex);
        lookup->nResult = rc;
        lookup->list.reset(result);
        lookup->bDone = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->bDone; })) {
        error = ERROR_HOST_LOOKUP;
        return nullptr;
    }
    switch (lookup->nResult) {
    case 0:
        return std::move(lookup->list);
    case EAI_NONAME:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        error = ERROR_HOST_NOT_FOUND;
        return nullptr;
    case EAI_SYSTEM:
        error = static_cast<unsigned long>(errno ? errno : EIO);
        return nullptr;
    default:
        error = ERROR_HOST_LOOKUP;
        return nullptr;
    }
}

void TuneSocket(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
}

// One address: a connected socket, or -1 with errno.
int ConnectOne(const addrinfo& a, Clock::time_point deadline) {
    const int fd =
        ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    auto fail = [fd](int e) {
        ::close(fd);
        errno = e;
        return -1;
    };
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            return fail(errno);
        }
        for (;;) {
            const int wait = RemainingMs(deadline);
            if (wait == 0) {
                return fail(ETIMEDOUT);
            }
            pollfd pfd{fd, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, wait);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r < 0) {
                return fail(errno);
            }
            if (r > 0) {
                break;
            }
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
            return fail(errno);
        }
        if (soError != 0) {
            return fail(soError);
        }
    }
    TuneSocket(fd);
    return fd;
}

} // namespace

bool CNetAddress::IsNetName(const std::string& name) {
    return StartsWithNoCase(name, kRawScheme) || StartsWithNoCase(name, kTelnetScheme);
}

bool CNetAddress::ParseHostPort(const std::string& text, bool bHostOptional, bool bAllowZero,
                                std::string& host, unsigned& port) {
    std::string h;
    std::string p;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return false;
        }
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
        if (h.empty() || h.find(':') == std::string::npos) {
            return false; // brackets are for IPv6 addresses only
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos) {
            if (!bHostOptional) {
                return false;
            }
            p = text;
        } else {
            h = text.substr(0, colon);
            p = text.substr(colon + 1);
            // A second colon is an IPv6 address without its brackets: ambiguous.
            if (h.empty() || p.find(':') != std::string::npos) {
                return false;
            }
        }
        for (char c : h) {
            const auto u = static_cast<unsigned char>(c);
            if (!std::isalnum(u) && c != '.' && c != '-' && c != '_') {
                return false;
            }
        }
    }
    if (p.empty() || p.size() > 5 ||
        !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const unsigned long n = std::stoul(p);
    if (n > 65535 || (n == 0 && !bAllowZero)) {
        return false;
    }
    if (!h.empty()) {
        host = h;
    }
    port = static_cast<unsigned>(n);
    return true;
}

std::string CNetAddress::JoinHostPort(const std::string& host, unsigned port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool CNetAddress::Parse(const std::string& name, CNetAddress& address) {
    CNetAddress a;
    std::string rest;
    if (StartsWithNoCase(name, kRawScheme)) {
        a.m_nKind = raw;
        rest = name.substr(std::char_traits<char>::length(kRawScheme));
    } else if (StartsWithNoCase(name, kTelnetScheme)) {
        a.m_nKind = rfc2217;
        rest = name.substr(std::char_traits<char>::length(kTelnetScheme));
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    if (!ParseHostPort(rest, false, false, a.m_strHost, a.m_nPort)) {
        return false;
    }
    address = a;
    return true;
}

std::string CNetAddress::GetUrl() const {
    return std::string(m_nKind == rfc2217 ? kTelnetScheme : kRawScheme) +
           JoinHostPort(m_strHost, m_nPort);
}

int CNetAddress::Connect(int timeoutMs) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned long error = 0;
    AddrList list = Resolve(m_strHost, m_nPort, deadline, error);
    if (!list) {
        errno = static_cast<int>(error);
        return -1;
    }
    int lastError = ETIMEDOUT;
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        const int fd = ConnectOne(*a, deadline);
        if (fd >= 0) {
            return fd;
        }
        lastError = errno;
        if (RemainingMs(deadline) == 0) {
            lastError = ETIMEDOUT;
            break;
        }
    }
    errno = lastError;
    return -1;
}
