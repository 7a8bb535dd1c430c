#include "sim/NoisyRelay.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// What one side may hold unread before further bytes are lost, as a UART overruns.
constexpr std::size_t kMaxPending = 65536;

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string Describe(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

bool MakeRaw(int fd) {
    struct termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

struct CNoisyRelay::Impl {
    explicit Impl(Options o) : options(std::move(o)) {}

    // One direction of the line: bytes read from one side, changed, waiting for the other.
    struct Direction {
        int nFrom = -1;
        int nTo = -1;
        std::vector<unsigned char> pending;
        long long nToNextFlip = 0; // bits to pass before the next flipped one
        bool bGone = false;        // the reading side hung up
    };

    void Serve();
    // False when the reading side has gone.
    bool Relay(Direction& d);
    void Flush(Direction& d);
    void Flip(unsigned char* data, std::size_t n, Direction& d);
    long long NextGap();

    Options options;
    mutable std::mutex mutex; // guards strPath
    std::string strPath;
    std::thread thread;
    int nMaster = -1; // the controller's side
    int nSlave = -1;  // our own hold on it, so the controller may close and open again
    int nDevice = -1;
    int nWake = -1;
    std::atomic<std::uint64_t> nBytes{0};
    std::atomic<std::uint64_t> nFlips{0};
    std::mt19937_64 random;
};

CNoisyRelay::CNoisyRelay(Options options) : m_pImpl(std::make_unique<Impl>(std::move(options))) {}

CNoisyRelay::~CNoisyRelay() {
    Stop();
}

bool CNoisyRelay::Start(std::string* error) {
    Impl& d = *m_pImpl;
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        CloseFd(d.nWake);
        CloseFd(d.nDevice);
        CloseFd(d.nSlave);
        CloseFd(d.nMaster);
        return false;
    };
    if (d.thread.joinable()) {
        return fail("the relay is already running");
    }
    if (!(d.options.dBitErrorRate >= 0.0 && d.options.dBitErrorRate <= 1.0)) {
        return fail("the bit error rate must lie between 0 and 1");
    }
    d.nDevice = ::open(d.options.strDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (d.nDevice < 0) {
        return fail(Describe(d.options.strDevice, errno));
    }
    if (::isatty(d.nDevice) && !MakeRaw(d.nDevice)) {
        return fail(Describe(d.options.strDevice, errno));
    }
    d.nMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.nMaster < 0 || ::grantpt(d.nMaster) != 0 || ::unlockpt(d.nMaster) != 0) {
        return fail(Describe("posix_openpt", errno));
    }
    char name[128];
    if (::ptsname_r(d.nMaster, name, sizeof name) != 0) {
        return fail(Describe("ptsname", errno));
    }
    d.nSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.nSlave < 0 || !MakeRaw(d.nSlave) || !MakeNonBlocking(d.nMaster)) {
        return fail(Describe(name, errno));
    }
    d.nWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.nWake < 0) {
        return fail(Describe("eventfd", errno));
    }
    {
        std::lock_guard lock(d.mutex);
        d.strPath = name;
    }
    d.random.seed(d.options.nSeed);
    d.nBytes = 0;
    d.nFlips = 0;
    d.thread = std::thread([&d] { d.Serve(); });
    return true;
}

void CNoisyRelay::Stop() {
    Impl& d = *m_pImpl;
    if (d.thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(d.nWake, &one, sizeof one);
        d.thread.join();
    }
    CloseFd(d.nWake);
    CloseFd(d.nDevice);
    CloseFd(d.nSlave);
    CloseFd(d.nMaster);
    std::lock_guard lock(d.mutex);
    d.strPath.clear();
}

std::string CNoisyRelay::DevicePath() const {
    std::lock_guard lock(m_pImpl->mutex);
    return m_pImpl->strPath;
}

std::uint64_t CNoisyRelay::BytesRelayed() const {
    return m_pImpl->nBytes;
}

std::uint64_t CNoisyRelay::BitsFlipped() const {
    return m_pImpl->nFlips;
}

long long CNoisyRelay::Impl::NextGap() {
    const double rate = options.dBitErrorRate;
    if (rate <= 0.0) {
        return -1; // never
    }
    if (rate >= 1.0) {
        return 0;
    }
    // The number of clean bits before the next flipped one.
    return std::geometric_distribution<long long>(rate)(random);
}

void CNoisyRelay::Impl::Flip(unsigned char* data, std::size_t n, Direction& d) {
    for (std::size_t i = 0; i < n; ++i) {
        while (d.nToNextFlip >= 0 && d.nToNextFlip < 8) {
            data[i] ^= static_cast<unsigned char>(1u << d.nToNextFlip);
            ++nFlips;
            const long long gap = NextGap();
            d.nToNextFlip = gap < 0 ? -1 : d.nToNextFlip + 1 + gap;
        }
        if (d.nToNextFlip >= 8) {
            d.nToNextFlip -= 8;
        }
    }
}

bool CNoisyRelay::Impl::Relay(Direction& d) {
    unsigned char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(d.nFrom, buffer, sizeof buffer);
        if (n > 0) {
            const auto count = static_cast<std::size_t>(n);
            Flip(buffer, count, d);
            nBytes += count;
            if (d.pending.size() + count <= kMaxPending) {
                d.pending.insert(d.pending.end(), buffer, buffer + count);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void CNoisyRelay::Impl::Flush(Direction& d) {
    while (!d.pending.empty()) {
        const ssize_t n = ::write(d.nTo, d.pending.data(), d.pending.size());
        if (n > 0) {
            d.pending.erase(d.pending.begin(), d.pending.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (!(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
            d.pending.clear(); // the other side is gone; so are these bytes
        }
        return;
    }
}

void CNoisyRelay::Impl::Serve() {
    Direction toDevice{nMaster, nDevice, {}, 0, false};
    Direction toController{nDevice, nMaster, {}, 0, false};
    toDevice.nToNextFlip = NextGap();
    toController.nToNextFlip = NextGap();
    for (;;) {
        Flush(toDevice);
        Flush(toController);
        const auto events = [](const Direction& in, const Direction& out) {
            return static_cast<short>((in.bGone ? 0 : POLLIN) |
                                      (out.pending.empty() ? 0 : POLLOUT));
        };
        struct pollfd fds[3] = {{nWake, POLLIN, 0},
                                {nMaster, events(toDevice, toController), 0},
                                {nDevice, events(toController, toDevice), 0}};
        // A side that hung up is looked at again now and then rather than polled in a spin.
        const bool bAnyGone = toDevice.bGone || toController.bGone;
        const int r = ::poll(fds, 3, bAnyGone ? 20 : -1);
        if (r < 0 && errno != EINTR) {
            break;
        }
        if (r <= 0) {
            toDevice.bGone = toController.bGone = false;
            continue;
        }
        if (fds[0].revents) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            toDevice.bGone = !Relay(toDevice);
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            toDevice.bGone = true;
        }
        if (fds[2].revents & POLLIN) {
            toController.bGone = !Relay(toController);
        } else if (fds[2].revents & (POLLHUP | POLLERR)) {
            toController.bGone = true;
        }
    }
}
