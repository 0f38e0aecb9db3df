// Measures how close the virtual panel's least gap comes to the real one, and what watching the
// line so closely costs. A writer sends bytes a little over 3 ms apart to the panel's
// pseudo-terminal and stamps each write; the panel's watch reads them. The real gap between two
// bytes is at least the time from the end of one write to the start of the next, so the figures
// below say how much less than that the panel showed. It prints figures only; the exit code is
// non-zero when the line could not be set up or bytes went missing.
#include "LineTimer.h"

#include <LineWatch.h>
#include <PanelLine.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
namespace {

constexpr int kBytes = 500;
// Not a whole number of the watch's steps, so that bytes come at every phase of them.
constexpr auto kPause = 3ms + 137us;

Clock::duration ThreadCpu() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

} // namespace

int main() {
    const sim::PanelLine line = sim::PanelLine::OpenPseudoTerminal(38400);
    if (!line.IsOpen()) {
        std::fprintf(stderr, "%s\n", line.Error().c_str());
        return 1;
    }
    const UniqueFd tool(::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!tool.valid()) {
        std::perror(line.Path().c_str());
        return 1;
    }
    struct Write {
        Clock::time_point before, after;
    };
    std::vector<Write> writes(kBytes);
    sim::LineWatch watch(line);
    std::atomic<bool> allArrived = false;
    std::thread writer([&] {
        Clock::time_point next = Clock::now() + 50ms;
        for (Write& w : writes) {
            std::this_thread::sleep_until(next);
            w.before = Clock::now();
            const char byte = 'x';
            if (::write(tool.get(), &byte, 1) != 1)
                std::perror("write");
            w.after = Clock::now();
            next = w.after + kPause;
        }
        // Bytes that have not arrived a second after the last write are lost.
        for (int i = 0; i < 100 && !allArrived; ++i)
            std::this_thread::sleep_for(10ms);
        if (!allArrived)
            watch.Stop();
    });

    std::vector<sim::Arrival> arrivals;
    const Clock::duration cpuBefore = ThreadCpu();
    const Clock::time_point wallBefore = Clock::now();
    std::uint8_t byte = 0;
    while (arrivals.size() < writes.size()) {
        const sim::Arrival a = watch.Next({&byte, 1});
        if (a.error || a.stopped) {
            std::fprintf(stderr, "%zu von %d Bytes angekommen: %s\n", arrivals.size(), kBytes,
                         a.error ? a.error.message().c_str() : "die übrigen fehlen");
            writer.join();
            return 1;
        }
        arrivals.push_back(a);
    }
    allArrived = true;
    const double busyShare =
        Milliseconds(ThreadCpu() - cpuBefore) / Milliseconds(Clock::now() - wallBefore);
    writer.join();

    // Idle: a watch that has not seen a byte for a second looks only now and then.
    sim::LineWatch idle(line);
    std::thread stopper([&] {
        std::this_thread::sleep_for(3s);
        idle.Stop();
    });
    const Clock::duration idleCpuBefore = ThreadCpu();
    const Clock::time_point idleWallBefore = Clock::now();
    [[maybe_unused]] const sim::Arrival none = idle.Next({&byte, 1});
    const double idleShare =
        Milliseconds(ThreadCpu() - idleCpuBefore) / Milliseconds(Clock::now() - idleWallBefore);
    stopper.join();

    std::vector<double> shortfall;
    std::size_t together = 0;
    // Gaps shown longer than the writes can have been apart. The pseudo-terminal hands a byte
    // on a little after its write, so a late hand-over can make this happen; anything else
    // would be a fault of the watch.
    std::size_t longer = 0;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        if (arrivals[i].emptyBefore <= arrivals[i - 1].readAt) {
            ++together;
            continue;
        }
        const double shown = Milliseconds(arrivals[i].emptyBefore - arrivals[i - 1].readAt);
        const double written = Milliseconds(writes[i].before - writes[i - 1].after);
        shortfall.push_back(written - shown);
        if (shown > Milliseconds(writes[i].after - writes[i - 1].before))
            ++longer;
    }
    std::printf("Virtuelle Anzeige: %d Bytes, %.3f ms Pause nach jedem Schreiben\n", kBytes,
                Milliseconds(kPause));
    if (const auto spread = SpreadOf(shortfall)) {
        std::printf("  angezeigter Mindestabstand unter dem geschriebenen: Median %.3f ms, "
                    "99 %% %.3f ms, höchstens %.3f ms\n",
                    spread->median, spread->p99, spread->max);
    }
    std::printf("  schon da: %zu, länger als die Schreibvorgänge auseinander sein können: %zu\n",
                together, longer);
    std::printf("  Rechenzeit des Lesers: %.1f %% eines Kerns beim Empfang, %.2f %% im Leerlauf\n",
                100 * busyShare, 100 * idleShare);
    return 0;
}
