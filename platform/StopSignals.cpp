#include "platform/StopSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace stopsignals {
namespace {

std::atomic<int> g_fd{-1};
std::atomic<int> g_received{0};

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// A started program (the help page's opener, a printer filter) must be
// stoppable and get SIGPIPE as usual.
void InChild() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_DFL);
}

}  // namespace

void Install() {
    if (g_fd.load() >= 0) return;
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    pthread_atfork(nullptr, nullptr, InChild);
    g_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

int Fd() {
    return g_fd.load();
}

bool Requested() {
    const int fd = g_fd.load();
    if (fd >= 0) {
        signalfd_siginfo info;
        bool taken = false;
        while (true) {
            const ssize_t n = ::read(fd, &info, sizeof info);
            if (n < 0 && errno == EINTR) continue;
            if (n != ssize_t(sizeof info)) break;
            int expected = 0;
            g_received.compare_exchange_strong(expected, int(info.ssi_signo));
            taken = true;
        }
        // The descriptor stays readable once a signal has come, so that
        // whoever watches it (the window) learns of it even when a run
        // asked first: the signal is pending again, blocked as before.
        if (taken) ::kill(::getpid(), g_received.load());
    }
    return g_received.load() != 0;
}

int Received() {
    Requested();
    return g_received.load();
}

}  // namespace stopsignals
