#pragma once

#include <chrono>
#include <functional>

// The link's one way of waiting: for a descriptor to become ready, for a condition only asking
// can tell (an output queue emptied, a name looked up), or for a moment to come. Every wait of
// the link goes through it (room on the line, XON, CTS, an empty output queue, a connection, a
// remote's reply), so that the caller's window stays alive during each alike.
using WaitClock = std::chrono::steady_clock;
// Runs every kWaitSlice while a wait lasts.
using WaitHook = std::function<void()>;

// How long a wait lasts before the wait hook runs again.
inline constexpr std::chrono::milliseconds kWaitSlice{10};

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT; a hang-up or an error counts as
// ready, the next read or write tells which), or until `deadline`. With fd < 0 it waits for
// the deadline alone. `held`, when given, tells of bytes already read from `fd` and held above
// it (TLS decrypts whole records), which count as ready. Returns 0 when ready, ETIMEDOUT at the
// deadline, else the errno of the failed wait.
[[nodiscard]] int WaitReady(int fd, short events, WaitClock::time_point deadline,
                            const WaitHook& onSlice, const std::function<bool()>& held = {});

// Waits until `done` holds, asking it every `every`, or until `deadline`. Returns 0 when it
// holds, ETIMEDOUT at the deadline.
[[nodiscard]] int WaitUntil(const std::function<bool()>& done, std::chrono::microseconds every,
                            WaitClock::time_point deadline, const WaitHook& onSlice);
