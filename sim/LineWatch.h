#pragma once

#include "PanelLine.h"

#include <UniqueFd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

namespace sim {

// What one read of the line brought, and what is known of when it came.
//
// A reader in user space cannot see when a byte reached the line, only when its read returned,
// and a reader that was late for one byte and on time for the next would stamp a gap shorter
// than the real one. So the watch also says when it last found the line empty: every byte of
// this read came after `emptyBefore` (a read found nothing after that moment), and every byte
// before it had come by the previous `readAt`. The difference is the shortest gap the bytes can
// have had; a log built on it never shows a gap shorter than the real one.
struct Arrival {
    std::size_t count = 0;
    std::chrono::steady_clock::time_point emptyBefore{};
    std::chrono::steady_clock::time_point readAt{}; // when the read returned
    std::error_code error{};                        // the line failed; count is 0
    bool stopped = false;                           // Stop() was called; count is 0
};

// Watches the panel's line for bytes. While bytes are coming it looks every 0.2 ms, so that
// `emptyBefore` is close to the truth; after a second without a byte it looks only every 50 ms,
// which costs nothing while the line is idle.
class LineWatch {
public:
    explicit LineWatch(const PanelLine& line);

    // Waits for the next bytes, a failure of the line, or Stop().
    [[nodiscard]] Arrival Next(std::span<std::uint8_t> buffer);
    // Waits for `pause` and says false if Stop() came first.
    [[nodiscard]] bool Pause(std::chrono::milliseconds pause) const;
    // Ends the current and every later Next() or Pause(); from any thread.
    void Stop() const;

private:
    // Waits for the line or for Stop(); false once stopped.
    [[nodiscard]] bool Wait(std::chrono::nanoseconds timeout, bool forLine) const;

    const PanelLine& line_;
    UniqueFd stop_; // an eventfd: readable once the watch is stopped
    std::chrono::steady_clock::time_point emptyBefore_;
    std::chrono::steady_clock::time_point lastBytes_;
};

} // namespace sim
