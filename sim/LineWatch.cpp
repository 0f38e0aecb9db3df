#include "LineWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kCloseLook = 200us;
constexpr auto kIdleLook = 50ms;
constexpr auto kStaysClose = 1s; // after the last byte

} // namespace

LineWatch::LineWatch(const PanelLine& line)
    : line_(line)
    , stop_(::eventfd(0, EFD_CLOEXEC))
    , emptyBefore_(Clock::now())
    , lastBytes_(emptyBefore_ - kStaysClose) {}

Arrival LineWatch::Next(std::span<std::uint8_t> buffer) {
    for (;;) {
        // Taken before the read, so that a read finding nothing proves the line empty at a
        // moment after it.
        const Clock::time_point before = Clock::now();
        const ReadResult result = line_.Read(buffer);
        if (result.error) {
            return {.error = result.error};
        }
        if (result.count > 0) {
            lastBytes_ = Clock::now();
            return {.count = result.count, .emptyBefore = emptyBefore_, .readAt = lastBytes_};
        }
        emptyBefore_ = before;
        if (!Wait(before - lastBytes_ < kStaysClose ? kCloseLook : kIdleLook, true)) {
            return {.stopped = true};
        }
    }
}

bool LineWatch::Pause(std::chrono::milliseconds pause) const {
    return Wait(pause, false);
}

void LineWatch::Stop() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
}

bool LineWatch::Wait(std::chrono::nanoseconds timeout, bool forLine) const {
    std::array<pollfd, 2> fds = {
        {{stop_.get(), POLLIN, 0}, {forLine ? line_.Fd() : -1, POLLIN, 0}}};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec wait{seconds.count(), (timeout - seconds).count()};
    while (::ppoll(fds.data(), fds.size(), &wait, nullptr) < 0 && errno == EINTR) {
    }
    return fds[0].revents == 0;
}

} // namespace sim
