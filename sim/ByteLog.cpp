#include "ByteLog.h"

#include "Cp1252.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

// Column widths, shared by the header and the lines.
constexpr std::size_t kTimeWidth = 12;
constexpr std::size_t kGapWidth = 14;

std::string PadLeft(std::string text, std::size_t width) {
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

// Fixed three decimals with a decimal comma, as the German window writes numbers.
std::string Decimal3(double value, const char* unit, std::size_t width) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f %s", value, unit);
    std::string text(buffer);
    std::replace(text.begin(), text.end(), '.', ',');
    return PadLeft(std::move(text), width);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}
double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

std::vector<LogEntry> ByteLog::Receive(PanelDecoder& panel, std::span<const std::uint8_t> bytes,
                                       Clock::time_point at) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::optional<Clock::duration> gap;
        if (last_ && i == 0) {
            gap = at - *last_;
        }
        last_ = at;
        waiting_.push_back({at - start_, gap, i > 0});
    }
    std::vector<ByteEvent> events = panel.Feed(bytes);
    std::vector<LogEntry> entries;
    entries.reserve(events.size());
    for (ByteEvent& event : events) {
        // The panel reports each byte exactly once, in order; an event without an arrival would
        // mean the panel was fed behind the log's back.
        if (waiting_.empty()) {
            entries.push_back({{}, std::nullopt, std::move(event)});
            continue;
        }
        entries.push_back({waiting_.front().time, waiting_.front().gap, std::move(event),
                           waiting_.front().readTogether});
        waiting_.pop_front();
    }
    return entries;
}

std::string MeaningText(const ByteEvent& event) {
    switch (event.meaning) {
    case ByteMeaning::Text:
        return "Text";
    case ByteMeaning::CarriageReturn:
        return "CR";
    case ByteMeaning::LineFeed:
        return "LF";
    case ByteMeaning::Command:
        return "Befehl " + cp1252::ToUtf8(event.sequence);
    case ByteMeaning::Unknown:
        return "Unbekannt " + cp1252::ToUtf8(event.sequence);
    case ByteMeaning::Control:
        return "Steuerzeichen";
    }
    return {};
}

std::string LogHeader() {
    return PadLeft("Zeit", kTimeWidth) + PadLeft("Abstand", kGapWidth) +
           "  Byte  Zeichen  Bedeutung";
}

std::string FormatLogEntry(const LogEntry& entry) {
    std::string line = Decimal3(Seconds(entry.time), "s", kTimeWidth);
    if (entry.readTogether) {
        line += PadLeft("zusammen", kGapWidth);
    } else {
        line += entry.gap ? Decimal3(Milliseconds(*entry.gap), "ms", kGapWidth)
                          : PadLeft("–", kGapWidth + 2); // the dash takes three bytes for one
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "    %02X     ", entry.event.byte);
    line += hex;
    const auto character = cp1252::ToUnicode(entry.event.byte);
    if (character && cp1252::IsPrintable(entry.event.byte)) {
        cp1252::AppendUtf8(line, *character);
    } else {
        line += ' ';
    }
    line += "     " + MeaningText(entry.event);
    return line;
}

} // namespace sim
