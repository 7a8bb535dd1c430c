#include "sim/ZarnSimulator.h"

#include "sim/LineSchedule.h"
#include "sim/PacketAssembler.h"
#include "sim/SimAnalyser.h"

#include "serial/NetAddress.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long the controller's side may stay full before the bytes due are lost, as a UART overruns.
constexpr auto kOverrun = std::chrono::milliseconds(100);

constexpr std::pair<const char*, SimFault> kFaultNames[] = {
    {"silent", SimFault::silent},
    {"damaged", SimFault::damaged},
    {"wrong-source", SimFault::wrongSource},
    {"wrong-code", SimFault::wrongCode},
    {"slow", SimFault::slow},
    {"wrong-end", SimFault::wrongEnd},
    {"short-batch", SimFault::shortBatch},
    {"long-batch", SimFault::longBatch},
    {"noise", SimFault::noise},
};

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string Describe(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

bool ParseSimFault(const std::string& text, SimFault& fault) {
    for (const auto& [name, kind] : kFaultNames) {
        if (text == name) {
            fault = kind;
            return true;
        }
    }
    return false;
}

struct CZarnSimulator::Impl {
    explicit Impl(Options o) : options(std::move(o)) {}

    void Serve();
    // Reads what the controller wrote on one side; false when that side has hung up.
    bool ReadRequests(int fd, Clock::time_point now);
    // Writes every byte that is due; false when the controller's side is full.
    bool WriteDue(Clock::time_point now);
    void Handle(const COAXNWKPACKET& request, Clock::time_point now);
    void RunProduction(Clock::time_point now);
    bool MakeLink(std::string* error);
    void RemoveLink();
    bool OpenPty(std::string* error);
    bool Listen(std::string* error);
    void Accept();
    void DropClient();
    void CloseAll();

    Options options;
    std::string strBadNode;

    mutable std::mutex mutex; // guards the analysers, strPath and strTcpUrl
    std::map<int, CSimAnalyser> analysers;
    std::string strPath;
    std::string strTcpUrl;

    std::thread thread;
    std::atomic<bool> bRunning{false};
    std::atomic<unsigned long> nServed{0};
    std::atomic<unsigned long> nClients{0};
    int nMaster = -1;
    int nSlave = -1;
    int nWake = -1;
    int nListen = -1;
    int nClient = -1;
    // The side the line answers: the one that wrote last (the master or the TCP client).
    int nOut = -1;
    bool bLinkMade = false;

    // Serving thread only.
    CLineSchedule schedule{false};
    CPacketAssembler assembler;
    std::map<int, Clock::time_point> nextCrimp;
};

CZarnSimulator::CZarnSimulator(Options options)
    : m_pImpl(std::make_unique<Impl>(std::move(options))) {
    Impl& d = *m_pImpl;
    if (d.options.nodes.empty()) {
        for (int node = 1; node <= 12; ++node) {
            d.options.nodes.push_back(node);
        }
    }
    for (int node : d.options.nodes) {
        if (node < 1 || node > 255) {
            d.strBadNode = "node ID " + std::to_string(node) + " is not between 1 and 255";
            continue;
        }
        d.analysers.try_emplace(node, node, d.options.nSeed);
    }
    for (const auto& [node, fault] : d.options.faults) {
        auto it = d.analysers.find(node);
        if (it == d.analysers.end()) {
            d.strBadNode = "fault for node " + std::to_string(node) + ", which is not simulated";
            continue;
        }
        it->second.SetFault(fault);
    }
}

CZarnSimulator::~CZarnSimulator() {
    Stop();
}

bool CZarnSimulator::Start(std::string* error) {
    Impl& d = *m_pImpl;
    auto fail = [&](const std::string& why) {
        if (error && !why.empty()) {
            *error = why;
        }
        d.CloseAll();
        std::lock_guard lock(d.mutex);
        d.strPath.clear();
        d.strTcpUrl.clear();
        return false;
    };
    if (d.bRunning) {
        return fail("the simulator is already running");
    }
    if (!d.strBadNode.empty()) {
        return fail(d.strBadNode);
    }
    if (!d.options.bPty && d.options.strTcp.empty()) {
        return fail("no pseudo-terminal and no TCP port to serve the line on");
    }
    if (!d.options.bPty && !d.options.strLink.empty()) {
        return fail("a link needs the pseudo-terminal");
    }
    if (d.options.bPty && !d.OpenPty(error)) {
        return fail("");
    }
    if (!d.options.strTcp.empty() && !d.Listen(error)) {
        return fail("");
    }
    d.nWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.nWake < 0) {
        return fail(Describe("eventfd", errno));
    }
    if (!d.options.strLink.empty() && !d.MakeLink(error)) {
        return fail("");
    }
    d.nOut = d.nMaster;
    d.schedule = CLineSchedule(d.options.bPace);
    d.assembler.Clear();
    d.nServed = 0;
    d.nClients = 0;
    d.bRunning = true;
    d.thread = std::thread([&d] { d.Serve(); });
    return true;
}

bool CZarnSimulator::Impl::OpenPty(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (nMaster < 0) {
        return fail(Describe("posix_openpt", errno));
    }
    if (::grantpt(nMaster) != 0 || ::unlockpt(nMaster) != 0) {
        return fail(Describe("unlockpt", errno));
    }
    char name[128];
    if (::ptsname_r(nMaster, name, sizeof name) != 0) {
        return fail(Describe("ptsname", errno));
    }
    // Our own hold on the slave keeps the master from seeing a hang-up whenever the controller
    // closes its side, and keeps the terminal settings between the controller's opens.
    nSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (nSlave < 0) {
        return fail(Describe(name, errno));
    }
    struct termios tio;
    if (::tcgetattr(nSlave, &tio) != 0) {
        return fail(Describe("tcgetattr", errno));
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    if (::tcsetattr(nSlave, TCSANOW, &tio) != 0) {
        return fail(Describe("tcsetattr", errno));
    }
    // Non-blocking, so a controller that stops reading can never wedge the serving thread.
    const int flags = ::fcntl(nMaster, F_GETFL);
    if (flags < 0 || ::fcntl(nMaster, F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail(Describe("fcntl", errno));
    }
    std::lock_guard lock(mutex);
    strPath = name;
    return true;
}

bool CZarnSimulator::Impl::Listen(std::string* error) {
    std::string host = "127.0.0.1";
    unsigned port = 0;
    if (!CNetAddress::ParseHostPort(options.strTcp, true, true, host, port)) {
        if (error) {
            *error = "\"" + options.strTcp + "\" is not [HOST:]PORT (an IPv6 address in brackets)";
        }
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0) {
        if (error) {
            *error = host + ": " + ::gai_strerror(rc);
        }
        return false;
    }
    int lastError = EADDRNOTAVAIL;
    for (const addrinfo* a = list; a != nullptr && nListen < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
            lastError = errno;
            ::close(fd);
            continue;
        }
        nListen = fd;
    }
    ::freeaddrinfo(list);
    if (nListen < 0) {
        if (error) {
            *error = Describe(CNetAddress::JoinHostPort(host, port).c_str(), lastError);
        }
        return false;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(nListen, reinterpret_cast<sockaddr*>(&bound), &len);
    const unsigned boundPort =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    std::lock_guard lock(mutex);
    strTcpUrl = "socket://" + CNetAddress::JoinHostPort(host, boundPort);
    return true;
}

void CZarnSimulator::Impl::CloseAll() {
    CloseFd(nClient);
    CloseFd(nListen);
    CloseFd(nWake);
    CloseFd(nMaster);
    CloseFd(nSlave);
    nOut = -1;
}

void CZarnSimulator::Stop() {
    Impl& d = *m_pImpl;
    if (d.thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(d.nWake, &one, sizeof one);
        d.thread.join();
    }
    d.bRunning = false;
    d.RemoveLink();
    d.CloseAll();
}

bool CZarnSimulator::IsRunning() const {
    return m_pImpl->bRunning;
}

std::string CZarnSimulator::DevicePath() const {
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->strPath;
}

std::string CZarnSimulator::TcpUrl() const {
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->strTcpUrl;
}

unsigned long CZarnSimulator::TcpClients() const {
    return m_pImpl->nClients;
}

bool CZarnSimulator::GetState(int node, SimAnalyserState& state) const {
    std::lock_guard lock(m_pImpl->mutex);
    auto it = m_pImpl->analysers.find(node);
    if (it == m_pImpl->analysers.end()) {
        return false;
    }
    state = it->second.GetState();
    return true;
}

bool CZarnSimulator::SetState(int node, const SimAnalyserState& state) {
    std::lock_guard lock(m_pImpl->mutex);
    auto it = m_pImpl->analysers.find(node);
    return it != m_pImpl->analysers.end() && it->second.SetState(state);
}

void CZarnSimulator::SetFault(int node, SimFault fault) {
    std::lock_guard lock(m_pImpl->mutex);
    auto it = m_pImpl->analysers.find(node);
    if (it != m_pImpl->analysers.end()) {
        it->second.SetFault(fault);
    }
}

bool CZarnSimulator::AddCrimps(int node, const std::vector<std::uint16_t>& values) {
    std::lock_guard lock(m_pImpl->mutex);
    auto it = m_pImpl->analysers.find(node);
    return it != m_pImpl->analysers.end() && it->second.AddCrimps(values);
}

unsigned long CZarnSimulator::RequestsServed() const {
    return m_pImpl->nServed;
}

bool CZarnSimulator::Impl::MakeLink(std::string* error) {
    const std::string& link = options.strLink;
    struct stat st;
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        if (error) {
            *error = link + " exists and is not a symbolic link; not replacing it";
        }
        return false;
    }
    // Made beside the link and renamed over it, so an old link is replaced in one step.
    const std::string temp = link + ".zarnsim-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(strPath.c_str(), temp.c_str()) != 0) {
        if (error) {
            *error = Describe(link.c_str(), errno);
        }
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        if (error) {
            *error = Describe(link.c_str(), e);
        }
        return false;
    }
    bLinkMade = true;
    return true;
}

void CZarnSimulator::Impl::RemoveLink() {
    if (!bLinkMade) {
        return;
    }
    bLinkMade = false;
    // Only our own link: someone may have pointed the name elsewhere meanwhile.
    char target[256];
    const ssize_t n = ::readlink(options.strLink.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        std::lock_guard lock(mutex);
        if (strPath == target) {
            ::unlink(options.strLink.c_str());
        }
    }
}

void CZarnSimulator::Impl::Serve() {
    const Clock::time_point start = Clock::now();
    nextCrimp.clear();
    if (options.nCrimpIntervalMs > 0) {
        std::lock_guard lock(mutex);
        for (auto& [node, analyser] : analysers) {
            nextCrimp[node] = start + std::chrono::milliseconds(
                                          analyser.NextCrimpDelayMs(options.nCrimpIntervalMs));
        }
    }
    bool bBlocked = false;
    bool bHungUp = false;
    Clock::time_point blockedSince{};
    for (;;) {
        Clock::time_point now = Clock::now();
        RunProduction(now);
        const bool bWasBlocked = bBlocked;
        bBlocked = !WriteDue(now);
        if (bBlocked && !bWasBlocked) {
            blockedSince = now;
        }
        // A controller that stops reading does not hold the line up: what it misses is gone.
        if (bBlocked && now - blockedSince >= kOverrun) {
            schedule.DropDue(now);
            bBlocked = false;
        }

        Clock::time_point wake = Clock::time_point::max();
        for (const auto& [node, when] : nextCrimp) {
            wake = std::min(wake, when);
        }
        if (!bBlocked) {
            wake = std::min(wake, schedule.NextDue());
        } else {
            wake = std::min(wake, blockedSince + kOverrun);
        }
        if (bHungUp) {
            // Nobody on the other side: look again now and then instead of spinning.
            wake = std::min(wake, now + std::chrono::milliseconds(20));
        }
        // A hung-up master reports POLLHUP at once whatever is asked, so it sits out a round.
        // The side the line answers is also watched for room while it is full.
        const int client = nClient;
        struct pollfd fds[4] = {
            {nWake, POLLIN, 0},
            {bHungUp ? -1 : nMaster,
             static_cast<short>(POLLIN | (bBlocked && nOut == nMaster ? POLLOUT : 0)), 0},
            {client, static_cast<short>(POLLIN | (bBlocked && nOut == client ? POLLOUT : 0)), 0},
            {nListen, POLLIN, 0}};
        struct timespec timeout;
        struct timespec* pTimeout = nullptr;
        if (wake != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), wake - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            pTimeout = &timeout;
        }
        const int r = ::ppoll(fds, 4, pTimeout, nullptr);
        if (r < 0 && errno != EINTR) {
            break;
        }
        if (r <= 0) {
            bHungUp = false; // look at the master again
            continue;
        }
        if (fds[0].revents) {
            break; // Stop()
        }
        if (fds[1].revents & POLLIN) {
            bHungUp = !ReadRequests(nMaster, Clock::now());
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            bHungUp = true;
        }
        if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) &&
            !ReadRequests(client, Clock::now())) {
            DropClient();
        }
        if (fds[3].revents & POLLIN) {
            Accept();
        }
    }
    bRunning = false;
}

void CZarnSimulator::Impl::Accept() {
    const int fd = ::accept4(nListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // One client at a time: the newcomer takes the line (a client that crashed or hangs
    // never locks the line up).
    DropClient();
    nClient = fd;
    ++nClients;
}

void CZarnSimulator::Impl::DropClient() {
    if (nClient < 0) {
        return;
    }
    if (nOut == nClient) {
        nOut = nMaster;
        schedule.Clear();
        assembler.Clear();
    }
    CloseFd(nClient);
}

bool CZarnSimulator::Impl::ReadRequests(int fd, Clock::time_point now) {
    unsigned char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            const auto count = static_cast<std::size_t>(n);
            if (fd != nOut) {
                // The other side talks now: what was on its way to the old one is not for it.
                schedule.Clear();
                assembler.Clear();
                nOut = fd;
            }
            // The controller talks: any reply still waiting to go out is abandoned, and the line
            // returns what it sent.
            schedule.DropReplies();
            schedule.Add(buffer, count, now, false);
            assembler.Feed(buffer, count);
            COAXNWKPACKET request;
            while (assembler.Next(request)) {
                Handle(request, now);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // EAGAIN: all read. EIO or end of file: nobody holds the slave, or the client left.
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void CZarnSimulator::Impl::Handle(const COAXNWKPACKET& request, Clock::time_point now) {
    if (request.src != ZARN_CONTROLLER) {
        return;
    }
    SimReply reply;
    {
        std::lock_guard lock(mutex);
        auto it = analysers.find(request.dest);
        if (it == analysers.end() || !it->second.Answer(request, reply)) {
            return;
        }
    }
    ++nServed;
    schedule.Add(reply.bytes.data(), reply.bytes.size(),
                 now + std::chrono::milliseconds(reply.nDelayMs), true);
}

bool CZarnSimulator::Impl::WriteDue(Clock::time_point now) {
    unsigned char buffer[4096];
    for (;;) {
        const std::size_t due = schedule.PeekDue(now, buffer, sizeof buffer);
        if (due == 0) {
            return true;
        }
        if (nOut < 0) {
            schedule.Clear(); // nobody to hear the line
            return true;
        }
        const ssize_t n = nOut == nClient ? ::send(nOut, buffer, due, MSG_NOSIGNAL | MSG_DONTWAIT)
                                          : ::write(nOut, buffer, due);
        if (n > 0) {
            schedule.Consume(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        // The line is gone; what was due is lost with it.
        if (nOut == nClient) {
            DropClient();
        }
        schedule.Clear();
        return true;
    }
}

void CZarnSimulator::Impl::RunProduction(Clock::time_point now) {
    if (nextCrimp.empty()) {
        return;
    }
    std::lock_guard lock(mutex);
    for (auto& [node, when] : nextCrimp) {
        if (now < when) {
            continue;
        }
        CSimAnalyser& analyser = analysers.at(node);
        analyser.SimulateCrimp();
        const auto delay =
            std::chrono::milliseconds(analyser.NextCrimpDelayMs(options.nCrimpIntervalMs));
        when += delay;
        if (when <= now) {
            when = now + delay; // after a stall, go on crimping rather than catch up in a burst
        }
    }
}
