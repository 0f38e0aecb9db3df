#include "LineTimer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

// Small reads, so that bytes arriving close together are stamped apart whenever the reader
// keeps up; a read that still returns several of them gives them all the same time.
constexpr std::size_t kChunk = 16;
// How often the reader looks at its stop request while the line is quiet.
constexpr int kStopCheckMs = 20;

speed_t SpeedOf(int baudRate) {
    switch (baudRate) {
    case 2400:
        return B2400;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B0;
    }
}

} // namespace

LineTimer::LineTimer() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    m_master.reset(master);
    m_slave.reset(slave);
    m_path = name;
    StartReader();
}

LineTimer::LineTimer(const std::string& farEnd, int baudRate)
    : m_path(farEnd)
    , m_realTime(true) {
    m_master.reset(::open(farEnd.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios tio{};
    if (!m_master.valid() || ::tcgetattr(m_master.get(), &tio) != 0) {
        m_master.reset();
        return;
    }
    ::cfmakeraw(&tio);
    if (const speed_t speed = SpeedOf(baudRate); speed != B0)
        ::cfsetspeed(&tio, speed);
    ::tcsetattr(m_master.get(), TCSANOW, &tio);
    ::tcflush(m_master.get(), TCIFLUSH);
    StartReader();
}

void LineTimer::StartReader() {
    m_arrivals.reserve(4096);
    m_reader = std::jthread([this](const std::stop_token& stop) { Receive(stop); });
    m_listening.wait();
}

void LineTimer::Receive(const std::stop_token& stop) {
    char chunk[kChunk];
    if (m_realTime) {
        const sched_param lowest{::sched_get_priority_min(SCHED_FIFO)};
        (void)::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &lowest);
    }
    m_listening.count_down();
    while (!stop.stop_requested()) {
        pollfd pfd{m_master.get(), POLLIN, 0};
        if (::poll(&pfd, 1, kStopCheckMs) <= 0)
            continue;
        const ssize_t n = ::read(m_master.get(), chunk, sizeof chunk);
        const Clock::time_point at = Clock::now();
        if (n <= 0) {
            // Nothing to read despite the wake-up (a hang-up): do not spin.
            ::usleep(1000);
            continue;
        }
        const std::lock_guard lock(m_mutex);
        for (ssize_t i = 0; i < n; ++i)
            m_arrivals.push_back({chunk[i], at, n > 1});
        m_arrived.notify_all();
    }
}

std::vector<Arrival> LineTimer::Collect(std::size_t count, Clock::duration timeout) {
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, timeout, [&] { return m_arrivals.size() >= count; });
    const auto end =
        m_arrivals.begin() + static_cast<std::ptrdiff_t>(std::min(count, m_arrivals.size()));
    std::vector<Arrival> taken(m_arrivals.begin(), end);
    m_arrivals.erase(m_arrivals.begin(), end);
    return taken;
}

std::size_t LineTimer::Pending() {
    const std::lock_guard lock(m_mutex);
    return m_arrivals.size();
}

std::optional<Spread> SpreadOf(std::vector<double> ms) {
    if (ms.empty())
        return std::nullopt;
    std::ranges::sort(ms);
    const std::size_t n = ms.size();
    const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    const auto rank99 = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    return Spread{ms.front(), median, ms[rank99 - 1], ms.back(), n};
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void AppendGaps(const std::vector<Clock::time_point>& times, std::vector<double>& gaps) {
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps.push_back(Milliseconds(times[i] - times[i - 1]));
}
