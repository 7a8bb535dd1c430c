#pragma once

// A listening TCP socket on 127.0.0.1 with a free port, for tests that play a device server.

#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

class CLoopbackListener {
public:
    CLoopbackListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(m_fd, 2) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            m_nPort = ntohs(a.sin_port);
        }
    }
    ~CLoopbackListener() { Close(); }
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    // Stops listening: the port then refuses connections (until someone else takes it).
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    std::string Url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_nPort);
    }
    // The next client, or -1 when none came within the time.
    int Accept(int ms = 3000) {
        pollfd pfd{m_fd, POLLIN, 0};
        return ::poll(&pfd, 1, ms) == 1 ? ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }

    unsigned m_nPort = 0;

private:
    int m_fd = -1;
};
