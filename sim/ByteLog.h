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
    Clock::duration time; // since the log started
    // Since the byte before; none for the first byte and for a byte that came in one read with
    // the one before, whose true gap nobody saw.
    std::optional<Clock::duration> gap;
    ByteEvent event;
    bool readTogether = false; // came in one read with the byte before
};

// The byte log: stamps every received byte with its arrival and pairs it with what the panel
// made of it. The panel reports the bytes of a command only once the command is complete, so
// arrivals wait here until their event comes.
class ByteLog {
public:
    explicit ByteLog(Clock::time_point start)
        : start_(start) {}

    // Feeds the bytes, all of which arrived at `at`, to the panel and returns an entry for every
    // byte the panel has decided so far, in order of arrival.
    std::vector<LogEntry> Receive(PanelDecoder& panel, std::span<const std::uint8_t> bytes,
                                  Clock::time_point at);

private:
    struct Arrival {
        Clock::duration time;
        std::optional<Clock::duration> gap;
        bool readTogether;
    };

    Clock::time_point start_;
    std::optional<Clock::time_point> last_;
    std::deque<Arrival> waiting_;
};

// What a byte meant, in the window's words: "Text", "CR", "LF", "Befehl ~L12", ...
[[nodiscard]] std::string MeaningText(const ByteEvent& event);

// The column titles above the lines of FormatLogEntry.
[[nodiscard]] std::string LogHeader();

// One line of the log as the window shows it: time in seconds, gap in milliseconds (3 decimals
// each, decimal comma) or "zusammen" for a byte read with the one before, the byte in hex, the
// character it stands for, its meaning.
[[nodiscard]] std::string FormatLogEntry(const LogEntry& entry);

} // namespace sim
