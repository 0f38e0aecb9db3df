#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler can reach nothing but what lives at file level.
std::atomic<int> s_nStopSignal{0};
std::atomic<int> s_wakePipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

extern "C" void OnStopSignal(int signo) {
    const int savedErrno = errno;
    int none = 0;
    s_nStopSignal.compare_exchange_strong(none, signo);
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t n = ::write(s_wakePipe.load(), &byte, 1);
    errno = savedErrno;
}

} // namespace

CStopSignals::CStopSignals() {
    s_nStopSignal = 0;
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    m_read.reset(fds[0]);
    m_write.reset(fds[1]);
    s_wakePipe = m_write.get();

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Waits that must end on a signal watch the pipe; SA_RESTART spares every other call.
    action.sa_flags = SA_RESTART;
    // Installed also where the starting shell set SIGINT to be ignored (a background job).
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &action, &m_previous[i]);
        if (kSignals[i] == SIGHUP && m_previous[i].sa_handler == SIG_IGN)
            ::sigaction(SIGHUP, &m_previous[i], nullptr);
    }
}

CStopSignals::~CStopSignals() {
    if (!m_write.valid())
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    s_wakePipe = -1;
}

int CStopSignals::Received() const {
    return s_nStopSignal;
}
