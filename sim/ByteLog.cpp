#include "ByteLog.h"

#include "Cp1252.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

// Column widths, shared by the header and the lines.
constexpr std::size_t kTimeWidth = 12;
constexpr std::size_t kGapWidth = 15;

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
                                       Clock::time_point emptyBefore, Clock::time_point readAt) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::optional<Clock::duration> gap;
        // The byte before had come by the last read; this one came after `emptyBefore`.
        const bool alreadyWaiting = i > 0 || (lastRead_ && emptyBefore <= *lastRead_);
        if (lastRead_ && !alreadyWaiting) {
            gap = emptyBefore - *lastRead_;
        }
        waiting_.push_back({readAt - start_, gap, alreadyWaiting});
    }
    if (!bytes.empty()) {
        lastRead_ = readAt;
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
                           waiting_.front().alreadyWaiting});
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
    if (entry.alreadyWaiting) {
        line += PadLeft("schon da", kGapWidth);
    } else if (entry.gap) {
        // "≥" and the dash below take three bytes for one column.
        line += PadLeft("≥ " + Decimal3(Milliseconds(*entry.gap), "ms", 0), kGapWidth + 2);
    } else {
        line += PadLeft("–", kGapWidth + 2);
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
