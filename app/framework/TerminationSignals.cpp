#include "app/framework/TerminationSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void RestoreDefaults() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

extern "C" void OnTerminationSignal(int) {
    int saved = errno;
    char byte = 1;
    if (g_pipe[1] >= 0) {
        [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
    }
    // The next signal is not caught: an operator who insists ends the process.
    RestoreDefaults();
    errno = saved;
}

} // namespace

bool CTerminationSignals::Install() {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void CTerminationSignals::Connect(QObject* pContext, std::function<void()> fn) {
    if (g_pipe[0] < 0 || pContext == nullptr) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, pContext);
    QObject::connect(notifier, &QSocketNotifier::activated, pContext, [fn = std::move(fn)] {
        char buf[64];
        bool any = false;
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
            any = true;
        }
        if (any && fn) {
            fn();
        }
    });
}

void CTerminationSignals::Uninstall() {
    RestoreDefaults();
}
