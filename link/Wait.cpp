#include "Wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace {

// The one loop behind both: waits on `fd` (if any) in steps of `every` at most, asks `done`
// (if any) after each, and runs the hook whenever a slice has passed since it last ran. `held`
// counts as the descriptor being ready: like it, only before the deadline.
int Wait(int fd, short events, const std::function<bool()>& done, WaitClock::duration every,
         WaitClock::time_point deadline, const WaitHook& onSlice,
         const std::function<bool()>& held = {}) {
    auto lastHook = WaitClock::now();
    for (;;) {
        if (done && done())
            return 0;
        const auto now = WaitClock::now();
        if (now >= deadline)
            return ETIMEDOUT;
        if (onSlice && now - lastHook >= kWaitSlice) {
            onSlice();
            lastHook = WaitClock::now();
            continue;
        }
        if (held && held())
            return 0;
        // ppoll takes nanoseconds: the short steps of a queue's wait stay short.
        const auto step = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::min({deadline - now, every, WaitClock::duration(kWaitSlice)}));
        const timespec timeout{static_cast<time_t>(step.count() / 1'000'000'000),
                               static_cast<long>(step.count() % 1'000'000'000)};
        pollfd pfd{fd, events, 0};
        const int ready = ::ppoll(&pfd, 1, &timeout, nullptr);
        if (ready > 0)
            return 0;
        if (ready < 0 && errno != EINTR)
            return errno;
    }
}

} // namespace

int WaitReady(int fd, short events, WaitClock::time_point deadline, const WaitHook& onSlice,
              const std::function<bool()>& held) {
    return Wait(fd, events, {}, kWaitSlice, deadline, onSlice, held);
}

int WaitUntil(const std::function<bool()>& done, std::chrono::microseconds every,
              WaitClock::time_point deadline, const WaitHook& onSlice) {
    return Wait(-1, 0, done, every, deadline, onSlice);
}
