// The virtual panel's decoder, fed whatever the far end of a line sends, in reads of any size.
// The input is the panel's size (two bytes), then reads: a length byte and that many bytes.
#include "FuzzCheck.h"

#include <PanelDecoder.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using sim::ByteEvent;
using sim::ByteMeaning;
using sim::PanelDecoder;

bool IsCommand(const std::string& s) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '2';
    };
    return s == "~C" || (s.size() == 4 && s[0] == '~' && s[1] == 'L' && digit(s[2]) && digit(s[3]));
}

std::size_t CodePoints(const std::string& utf8) {
    return static_cast<std::size_t>(std::ranges::count_if(
        utf8, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void CheckPanel(const PanelDecoder& panel) {
    Require(panel.CursorRow() >= 0 && panel.CursorRow() < panel.Rows(),
            "cursor row on the display");
    Require(panel.CursorColumn() >= 0 && panel.CursorColumn() < panel.Columns(),
            "cursor column on the display");
    for (int led = 0; led < PanelDecoder::kLedCount; ++led) {
        const auto mode = static_cast<int>(panel.Led(led));
        Require(mode >= 0 && mode <= 2, "an LED is off, on or blinking");
    }
    const auto rows = panel.DisplayText();
    Require(rows.size() == static_cast<std::size_t>(panel.Rows()), "one text per row");
    for (const std::string& row : rows)
        Require(CodePoints(row) == static_cast<std::size_t>(panel.Columns()),
                "every row is as wide as the display");
    Require(panel.OpenSequence().empty() || panel.OpenSequence()[0] == '~',
            "an open sequence starts with a tilde");
}

void CheckEvent(const ByteEvent& e) {
    switch (e.meaning) {
    case ByteMeaning::Command:
        Require(IsCommand(e.sequence), "a command is ~C or ~L<led><mode>");
        break;
    case ByteMeaning::Unknown:
        Require(!e.sequence.empty() && e.sequence[0] == '~' && !IsCommand(e.sequence),
                "an unknown sequence starts with a tilde and is no command");
        break;
    default:
        Require(e.sequence.empty(), "a byte outside a sequence has none");
    }
    if (e.meaning == ByteMeaning::Command || e.meaning == ByteMeaning::Unknown)
        Require(e.sequence.find(static_cast<char>(e.byte)) != std::string::npos,
                "a sequence holds its bytes");
}

bool SameEvent(const ByteEvent& a, const ByteEvent& b) {
    return a.byte == b.byte && a.meaning == b.meaning && a.sequence == b.sequence;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFuzzInput input(data, size);
    // Signed, so that the decoder also meets sizes of zero and below.
    const int rows = static_cast<std::int8_t>(input.Byte()) % 9;
    const int columns = static_cast<std::int8_t>(input.Byte()) % 41;
    PanelDecoder panel(rows, columns);
    std::vector<std::uint8_t> fed;
    std::vector<ByteEvent> events;
    while (!input.Empty()) {
        const auto read = input.Bytes(input.Byte());
        const std::size_t openBefore = panel.OpenSequence().size();
        const auto got = panel.Feed(read);
        Require(got.size() + panel.OpenSequence().size() == openBefore + read.size(),
                "one event per byte");
        fed.insert(fed.end(), read.begin(), read.end());
        events.insert(events.end(), got.begin(), got.end());
        std::ranges::for_each(got, CheckEvent);
        CheckPanel(panel);
    }
    for (std::size_t i = 0; i < events.size(); ++i)
        Require(events[i].byte == fed[i], "events in byte order");
    const std::string& open = panel.OpenSequence();
    Require(std::ranges::equal(
                open, std::span(fed).last(open.size()),
                [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }),
            "the open sequence is the last bytes received");

    // However the bytes were cut into reads, the panel ends up alike.
    PanelDecoder whole(rows, columns);
    const auto all = whole.Feed(fed);
    Require(std::ranges::equal(all, events, SameEvent), "the same events in one read");
    Require(whole.DisplayText() == panel.DisplayText() && whole.CursorRow() == panel.CursorRow() &&
                whole.CursorColumn() == panel.CursorColumn() &&
                whole.OpenSequence() == panel.OpenSequence(),
            "the same display in one read");
    for (int led = 0; led < PanelDecoder::kLedCount; ++led)
        Require(whole.Led(led) == panel.Led(led), "the same LEDs in one read");
    return 0;
}
