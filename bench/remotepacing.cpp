// Measures how evenly the link's bytes reach the far end of a serial cable when they go through
// ser2net (RFC 2217): it stamps what arrives at the far UART, for each port given, once straight
// and once through a relay that holds each TCP segment back by a random 0–1 ms (network
// jitter), at 38400 and at 2400 bit/s. A local port given beside them is the reference for the
// whole string's time. Prints the gaps; exits non-zero only when the measurement broke.
//
//   kelmora-remote-pacing-bench [--traced=DEVICE] FAR-END NAME=PORT... [BYTES]
//
// With --traced, also the gaps between ser2net's writes to DEVICE, stamped by the kernel's
// tracer (root, tracefs): what ser2net hands its UART, without the far end's delivery delays.
//
// Meant for the guest rig, where the far end is a 16550 of the same machine:
// `tests/guest/run-guest --bench WORK-DIR build/bench/kelmora-remote-pacing-bench` passes the
// guest's UART, and its port behind ser2net without and with the rate-limiting filter.
#include "BenchText.h"
#include "FileHolder.h"
#include "JitterRelay.h"
#include "LineTimer.h"
#include "WriteTrace.h"

#include <ComPort.h>
#include <PortName.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr double kPauseMs = 3.0;
constexpr int kSpeeds[] = {38400, 2400};

struct Port {
    std::string name;
    std::string port; // a device or rfc2217://HOST:PORT
};

// The gaps of one string at the far end, and its time from first to last byte.
struct Figures {
    Spread gaps;
    std::ptrdiff_t below = 0; // gaps under the pause
    std::size_t shared = 0;   // bytes read together with another
    double spanMs = 0;
    Spread delay;                  // from the link's write of a byte to its arrival
    std::optional<Spread> written; // between the starts of ser2net's writes to its device
    std::ptrdiff_t writtenBelow = 0;
    std::ptrdiff_t writtenTogether = 0; // writes of more than one byte
};

void AddWrites(const std::vector<WriteTrace::Write>& writes, Figures& f) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < writes.size(); ++i)
        gaps.push_back(
            std::chrono::duration<double, std::milli>(writes[i].at - writes[i - 1].at).count());
    f.written = SpreadOf(gaps);
    f.writtenBelow = std::ranges::count_if(gaps, [](double g) { return g < kPauseMs; });
    f.writtenTogether =
        std::ranges::count_if(writes, [](const WriteTrace::Write& w) { return w.result > 1; });
}

// Sends `text` through `port` and collects it at the far end; nothing when it broke.
// With `traced`, also ser2net's writes to that device.
std::optional<Figures> Measure(const std::string& title, const std::string& port, int speed,
                               LineTimer& far, const std::string& text, const std::string& traced) {
    (void)far.Collect(far.Pending(), 0s);
    std::string error;
    ::setenv("KELMORA_COM1", port.c_str(), 1);
    // ser2net lets a device go a moment after its client has gone; another of its ports on the
    // same device finds it busy meanwhile.
    const auto until = Clock::now() + 3s;
    std::vector<Clock::time_point> writes;
    std::optional<WriteTrace> trace;
    int tracedFd = -1;
    for (;;) {
        std::uint32_t failure = 0;
        {
            CComPort link([&](const LinkError& e) { failure = e.errorNumber; }, kPortNames[0],
                          speed);
            writes.clear();
            link.SetByteHook([&](std::size_t, Clock::time_point t) {
                writes.push_back(t);
                return true;
            });
            // ser2net holds its device from the connection on; its writes count from now.
            const auto holder = traced.empty() ? std::nullopt : HolderOf("ser2net", traced);
            if (holder && holder->fd >= 0) {
                tracedFd = holder->fd;
                trace.emplace(holder->pid);
            }
            if (failure == 0)
                (void)link.SendText(text);
        }
        if (failure == EBUSY && Clock::now() < until) {
            std::this_thread::sleep_for(50ms);
            continue;
        }
        if (failure != 0)
            error = "Fehlernummer " + std::to_string(failure);
        break;
    }
    if (!error.empty()) {
        std::printf("%-34s %s\n", title.c_str(), error.c_str());
        return std::nullopt;
    }
    const std::vector<Arrival> arrivals = far.Collect(text.size(), text.size() * 10ms + 5s);
    std::string received;
    std::vector<Clock::time_point> times;
    Figures f;
    for (const Arrival& a : arrivals) {
        received += a.byte;
        times.push_back(a.at);
        f.shared += a.shared ? 1 : 0;
    }
    if (received != text) {
        std::printf("%-34s %zu von %zu Bytes angekommen, oder nicht in Folge\n", title.c_str(),
                    received.size(), text.size());
        return std::nullopt;
    }
    std::vector<double> gaps;
    AppendGaps(times, gaps);
    const auto spread = SpreadOf(gaps);
    if (!spread)
        return std::nullopt;
    f.gaps = *spread;
    f.below = std::ranges::count_if(gaps, [](double g) { return g < kPauseMs; });
    f.spanMs = Milliseconds(times.back() - times.front());
    std::vector<double> delays;
    for (std::size_t i = 0; i < times.size() && i < writes.size(); ++i)
        delays.push_back(Milliseconds(times[i] - writes[i]));
    const auto delay = SpreadOf(delays);
    if (!delay)
        return std::nullopt;
    f.delay = *delay;
    if (trace && trace->IsOn())
        AddWrites(trace->WritesTo(tracedFd), f);
    return f;
}

void Print(const std::string& title, const Figures& f, std::optional<double> localSpanMs) {
    std::printf("%-34s %7.3f %7.3f %7.3f %7.3f %5td/%-4zu %5zu %7.2f-%-7.2f %9.1f", title.c_str(),
                f.gaps.min, f.gaps.median, f.gaps.p99, f.gaps.max, f.below, f.gaps.count, f.shared,
                f.delay.min, f.delay.max, f.spanMs);
    if (localSpanMs)
        std::printf("  %.4f", f.spanMs / *localSpanMs);
    if (f.written)
        std::printf("  ser2net schreibt: min %.3f, median %.3f, %td/%zu unter 3.0, %td mehrere",
                    f.written->min, f.written->median, f.writtenBelow, f.written->count,
                    f.writtenTogether);
    std::printf("\n");
}

// Every port at one speed; false when a measurement broke.
bool MeasureAt(int speed, const std::string& farEnd, const std::vector<Port>& ports,
               const std::string& text, const std::string& traced) {
    LineTimer far(farEnd, speed);
    if (!far.IsOpen()) {
        std::printf("fernes Ende %s nicht zu öffnen\n", farEnd.c_str());
        return false;
    }
    std::printf("\n== %d bit/s, %zu Bytes; Abstände am fernen Ende in ms ==\n", speed, text.size());
    std::printf("%-34s %7s %7s %7s %7s %10s %5s %15s %9s  %s\n", "", "min", "median", "p99", "max",
                "unter 3.0", "zus.", "Verzögerung", "Spanne", "x lokal");
    bool intact = true;
    std::optional<double> localSpan;
    for (const Port& p : ports) {
        const auto remote = ParseRemoteAddress(p.port);
        std::vector<std::pair<std::string, std::string>> ways;
        std::optional<JitterRelay> relay;
        if (remote) {
            relay.emplace(*remote);
            ways = {{p.name + ", direkt", p.port}, {p.name + ", Relais 0-1 ms", relay->Url()}};
        } else {
            ways = {{p.name, p.port}};
        }
        for (const auto& [title, port] : ways) {
            const auto f = Measure(title, port, speed, far, text, remote ? traced : "");
            intact = intact && f;
            if (!f)
                continue;
            Print(title, *f, localSpan);
            if (!remote && !localSpan)
                localSpan = f->spanMs;
        }
    }
    return intact;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Port> ports;
    std::size_t bytes = 300;
    std::string traced;
    int first = 1;
    if (argc > 1 && std::string_view(argv[1]).starts_with("--traced="))
        traced = argv[first++] + std::string_view("--traced=").size();
    for (int i = first + 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (const auto eq = arg.find('='); eq != std::string::npos)
            ports.push_back({arg.substr(0, eq), arg.substr(eq + 1)});
        else
            bytes = std::strtoul(arg.c_str(), nullptr, 10);
    }
    if (argc < first + 2 || ports.empty() || bytes < 2) {
        std::fprintf(stderr, "Aufruf: %s [--traced=GERÄT] FERNES-ENDE NAME=PORT... [BYTES]\n",
                     argv[0]);
        return 64;
    }
    // Ports for the local reference are named by their device; the other names lead nowhere.
    for (int n = 2; n <= 4; ++n)
        ::setenv(("KELMORA_COM" + std::to_string(n)).c_str(), "/nonexistent/kelmora-bench", 1);
    std::printf("Jede Zeile: ein Text von %zu Bytes; \"unter 3.0\": Abstände unter %.1f ms; "
                "\"zus.\": Bytes,\ndie mit anderen in einem read() ankamen (Abstand 0); "
                "\"Verzögerung\": vom Schreiben des Links bis zur Ankunft, kleinste und "
                "größte;\n\"x lokal\": Spanne durch die der lokalen Leitung.\n",
                bytes, kPauseMs);
    const std::string text = Pattern(bytes);
    bool intact = true;
    for (const int speed : kSpeeds)
        intact = MeasureAt(speed, argv[first], ports, text, traced) && intact;
    return intact ? 0 : 1;
}
