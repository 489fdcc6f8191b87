#include "app/session_signals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace qn {

namespace {

int pipeFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP};

// Async-signal-safe: one write, errno kept for the interrupted code.
void onSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a byte that says the same.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

bool installSessionEndSignals() {
    if (pipeFds[0] >= 0) return true;
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return false;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    return true;
}

void removeSessionEndSignals() {
    if (pipeFds[0] < 0) return;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

int sessionEndFd() {
    return pipeFds[0];
}

int takeSessionEndSignal() {
    if (pipeFds[0] < 0) return 0;
    int last = 0;
    unsigned char buffer[64];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        last = buffer[n - 1];
    return last;
}

} // namespace qn
