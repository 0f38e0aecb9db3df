#pragma once

#include <UniqueFd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <latch>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

// One byte as it reached the far end of the line.
struct Arrival {
    char byte = 0;
    Clock::time_point at;
    bool shared = false; // came in one read with other bytes, so carries their common time
};

// The far end of a serial line for the bench: a pseudo-terminal whose master a thread of its
// own reads in small chunks, stamping every byte with the time its read returned. It keeps
// its own slave descriptor open, so the master never hangs up while a sender reopens.
class LineTimer {
public:
    LineTimer();
    // The far end is a tty that exists already (e.g. the host side of a UART in a virtual
    // machine, or the far UART of a null-modem cable), read raw; at `baudRate` when one of
    // 2400, 9600, 19200, 38400 is given, else at the speed it has. Its reader asks for a
    // real-time priority (granted to root), so that the sender's own work on the same machine
    // does not delay the stamps.
    explicit LineTimer(const std::string& farEnd, int baudRate = 0);

    [[nodiscard]] bool IsOpen() const { return m_master.valid(); }
    [[nodiscard]] const std::string& Path() const { return m_path; }

    // Waits until `count` bytes have arrived or `timeout` has passed, and hands over the
    // first `count` (fewer on timeout).
    [[nodiscard]] std::vector<Arrival> Collect(std::size_t count, Clock::duration timeout);
    // Bytes that arrived and were not collected yet.
    [[nodiscard]] std::size_t Pending();

private:
    void Receive(const std::stop_token& stop);
    void StartReader();

    UniqueFd m_master;
    UniqueFd m_slave;
    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Arrival> m_arrivals;
    bool m_realTime = false;
    std::latch m_listening{1}; // the first byte must find the reader waiting for it
    std::jthread m_reader;     // last: stopped and joined before the descriptors close
};

// Distribution of a set of durations, in milliseconds.
struct Spread {
    double min = 0;
    double median = 0;
    double p99 = 0; // nearest rank
    double max = 0;
    std::size_t count = 0;
};

[[nodiscard]] std::optional<Spread> SpreadOf(std::vector<double> ms);
[[nodiscard]] double Milliseconds(Clock::duration d);
// Gaps between consecutive time points, in milliseconds, appended to `gaps`.
void AppendGaps(const std::vector<Clock::time_point>& times, std::vector<double>& gaps);
