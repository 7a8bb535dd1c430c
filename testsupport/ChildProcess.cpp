#include "testsupport/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The process's environment with the given NAME=VALUE entries laid over it.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : extra) {
        vars[entry.substr(0, entry.find('='))] = entry;
    }
    std::vector<std::string> out;
    for (auto& [name, entry] : vars) {
        out.push_back(entry);
    }
    return out;
}

int StatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

CChildProcess::~CChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (m_nOut >= 0) {
        ::close(m_nOut);
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const Options& options) {
    int out[2] = {-1, -1};
    if (options.bPipeOut && ::pipe2(out, O_CLOEXEC) != 0) {
        m_strError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const char* log = options.strLog.empty() ? "/dev/null" : options.strLog.c_str();
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log, O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    if (options.bPipeOut) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    }
    if (!options.strDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.strDir.c_str());
    }
    std::vector<std::string> args = argv;
    std::vector<std::string> env = Environment(options.env);
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(env);
    const int spawned = options.bSearchPath
                            ? ::posix_spawnp(&m_pid, args[0].c_str(), &actions, nullptr,
                                             argPointers.data(), envPointers.data())
                            : ::posix_spawn(&m_pid, args[0].c_str(), &actions, nullptr,
                                            argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (out[1] >= 0) {
        ::close(out[1]);
    }
    if (spawned != 0) {
        m_pid = -1;
        if (out[0] >= 0) {
            ::close(out[0]);
        }
        m_strError = "cannot start " + args[0] + ": " + std::strerror(spawned);
        return false;
    }
    m_nOut = out[0];
    return true;
}

bool CChildProcess::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = m_strPending.find('\n');
        if (end != std::string::npos) {
            line = m_strPending.substr(0, end);
            m_strPending.erase(0, end + 1);
            return true;
        }
        pollfd pfd{m_nOut, POLLIN, 0};
        const int ready = m_nOut < 0 ? 0 : ::poll(&pfd, 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        char buffer[512];
        const ssize_t got = ready > 0 ? ::read(m_nOut, buffer, sizeof buffer) : 0;
        if (got <= 0) {
            return false;
        }
        m_strPending.append(buffer, static_cast<std::size_t>(got));
    }
}

int CChildProcess::Wait(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return StatusOf(status);
        }
        if (r < 0 && errno != EINTR) {
            return -1;
        }
        if (MsLeft(deadline) == 0) {
            return -1;
        }
        // No descriptor tells when a child ends; look again shortly.
        ::poll(nullptr, 0, 5);
    }
    return -1;
}

void CChildProcess::Signal(int sig) {
    if (m_pid > 0) {
        ::kill(m_pid, sig);
    }
}

ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    ProgramResult result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        result.strError = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        result.strError = std::string("pipe: ") + std::strerror(errno);
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<std::string> args = argv;
    std::vector<char*> argPointers = Pointers(args);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argPointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        result.strError = "cannot start " + args[0] + ": " + std::strerror(spawned);
        return result;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.strOut, &result.strErr};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        if (MsLeft(deadline) == 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, MsLeft(deadline)) < 0 && errno == EINTR) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[4096];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0) {
            ::close(f.fd);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (killed) {
        result.strError = args[0] + " did not finish in time";
    }
    if (WIFEXITED(status)) {
        result.nExit = WEXITSTATUS(status);
    }
    return result;
}
