#include "MachineState.h"

#include "LineTimer.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

using namespace std::chrono_literals;

namespace {

// How late each of 300 sleeps until 2.9 ms after the last wake ended, in microseconds.
std::vector<double> WakeLateness() {
    std::vector<double> late;
    std::jthread([&] {
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        Clock::time_point wake = Clock::now();
        for (int i = 0; i < 300; ++i) {
            wake += 2900us;
            const auto ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(wake.time_since_epoch())
                    .count();
            const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                              static_cast<long>(ns % 1'000'000'000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
            }
            late.push_back(Milliseconds(Clock::now() - wake) * 1000.0);
        }
    }).join();
    return late;
}

} // namespace

void PrintWakeLateness(const char* when) {
    const std::vector<double> late = WakeLateness();
    const auto s = SpreadOf(late);
    if (!s)
        return;
    const auto over = std::ranges::count_if(late, [](double us) { return us > kLinkWakeLeadUs; });
    std::printf("Aufwachen nach Schlaf bis 2.9 ms (%s), Verspätung in µs: min %.1f, median %.1f, "
                "p99 %.1f, max %.1f; über %.0f µs: %td von %zu\n",
                when, s->min, s->median, s->p99, s->max, kLinkWakeLeadUs, over, s->count);
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string line;
    std::getline(in, line);
    return line;
}
