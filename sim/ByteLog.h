#pragma once

#include "PanelDecoder.h"

#include <chrono>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;

struct LogEntry {
    Clock::duration time; // since the log started, to the read that brought the byte
    // The least time that can have passed since the byte before; none for the first byte and for
    // a byte that was already waiting when the one before was read.
    std::optional<Clock::duration> gap;
    ByteEvent event;
    // No moment was seen between this byte and the one before in which the line was empty:
    // they came in one read, or the second was waiting before the first had been read.
    bool alreadyWaiting = false;
};

// The byte log: stamps every received byte and pairs it with what the panel made of it. The
// panel reports the bytes of a command only once the command is complete, so arrivals wait here
// until their event comes.
//
// The gap it gives is the least that can have passed (the line seen empty after the byte before
// had been read): a reader that was late for a byte makes it smaller than the real gap, never
// larger, so the log never shows two bytes closer together than they came. A reader that came
// so late that the next byte was already waiting has seen no gap at all.
class ByteLog {
public:
    explicit ByteLog(Clock::time_point start)
        : start_(start) {}

    // Feeds the bytes of one read to the panel and returns an entry for every byte the panel has
    // decided so far, in order of arrival. The line was last seen empty at `emptyBefore`; the
    // read returned at `readAt`.
    std::vector<LogEntry> Receive(PanelDecoder& panel, std::span<const std::uint8_t> bytes,
                                  Clock::time_point emptyBefore, Clock::time_point readAt);

private:
    struct Pending {
        Clock::duration time;
        std::optional<Clock::duration> gap;
        bool alreadyWaiting;
    };

    Clock::time_point start_;
    std::optional<Clock::time_point> lastRead_;
    std::deque<Pending> waiting_;
};

// What a byte meant, in the window's words: "Text", "CR", "LF", "Befehl ~L12", ...
[[nodiscard]] std::string MeaningText(const ByteEvent& event);

// The column titles above the lines of FormatLogEntry.
[[nodiscard]] std::string LogHeader();

// One line of the log as the window shows it: time in seconds, least gap in milliseconds ("≥",
// 3 decimals each, decimal comma) or "schon da" for a byte that was already waiting when the one
// before was read, the byte in hex, the character it stands for, its meaning.
[[nodiscard]] std::string FormatLogEntry(const LogEntry& entry);

} // namespace sim
