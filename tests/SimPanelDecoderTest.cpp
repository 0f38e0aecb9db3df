#include "ByteLog.h"
#include "PanelDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace sim {
namespace {

using namespace std::string_literals;

std::span<const std::uint8_t> Bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A 2 x 5 panel with all LEDs on, after `input` arrived in reads cut after each byte i whose bit
// i is set in `cuts`, as "row|row|LED modes|what each byte did": T text, R CR, L LF, X ignored;
// a command or unknown sequence as [sequence], then C or U for each of its bytes.
std::string Decode(std::string_view input, unsigned cuts) {
    PanelDecoder panel(2, 5);
    panel.Feed(Bytes("~L01~L11~L21"));
    std::vector<ByteEvent> events;
    for (std::size_t i = 0, start = 0; i < input.size(); ++i) {
        if (i + 1 == input.size() || ((cuts >> i) & 1u) != 0) {
            const auto part = panel.Feed(Bytes(input.substr(start, i + 1 - start)));
            events.insert(events.end(), part.begin(), part.end());
            start = i + 1;
        }
    }
    std::string out;
    for (const std::string& row : panel.DisplayText()) {
        out += row + '|';
    }
    for (int led = 0; led < PanelDecoder::kLedCount; ++led) {
        const LedMode mode = panel.Led(led);
        out += mode == LedMode::Off ? '0' : mode == LedMode::On ? '1' : '2';
    }
    out += '|';
    for (std::size_t i = 0; i < events.size(); ++i) {
        const ByteEvent& e = events[i];
        const bool sequence =
            e.meaning == ByteMeaning::Command || e.meaning == ByteMeaning::Unknown;
        if (sequence && (i == 0 || events[i - 1].sequence != e.sequence)) {
            out += '[' + e.sequence + ']';
        }
        out += "TRLCUX"[static_cast<int>(e.meaning)];
    }
    return out;
}

TEST(SimPanelDecoder, DecodesEveryInputAlikeHoweverItIsSplitIntoReads) {
    struct Case {
        std::string input, expected;
    };
    const Case cases[] = {
        {"ab\r\ncd", "ab   |cd   |111|TTRLTT"},
        {"ab\ncd", "ab   |  cd |111|TTLTT"}, // LF keeps the column
        {"abc\rX", "Xbc  |     |111|TTTRT"},
        {"abcdefg", "abcde|fg   |111|TTTTTTT"},
        // Filling the last cell wraps the cursor at once, scrolling.
        {"abcdefghijk", "fghij|k    |111|TTTTTTTTTTT"},
        {"a\n\nb", "     | b   |111|TLLT"},
        {"xyz\r\nw~CQ", "Q    |     |111|TTTRLT[~C]CCT"},
        {"~L00~L12", "     |     |021|[~L00]CCCC[~L12]CCCC"},
        {"~L02~L20", "     |     |210|[~L02]CCCC[~L20]CCCC"},
        {"~L10~L22", "     |     |102|[~L10]CCCC[~L22]CCCC"},
        {"~L", "     |     |111|"}, // held back until decided
        {"~X", "~X   |     |111|[~X]UU"},
        {"~c", "~c   |     |111|[~c]UU"},
        {"~L3", "~L3  |     |111|[~L3]UUU"},
        {"~L19", "~L19 |     |111|[~L19]UUUU"},
        {"~LA1", "~LA1 |     |111|[~LA]UUUT"},
        // A control byte or a tilde ends the sequence and then acts on its own.
        {"~L1\r\nA", "~L1  |A    |111|[~L1]UUURLT"},
        {"~\x01", "~    |     |111|[~]UX"},
        {"~~C", "     |     |111|[~]U[~C]CC"},
        {"~L~L00", "~L   |     |011|[~L]UU[~L00]CCCC"},
        {"\x80\xE4\xFC\xDF\x8A\x9F\xA0\xFF", "€äüßŠ|Ÿ\u00A0ÿ  |111|TTTTTTTT"},
        {"\x85\x93\x99\x9E", "…“™ž |     |111|TTTT"},
        // Bytes the code page leaves undefined and control bytes show nothing.
        {"a\x81\x8D\x8F\x90\x9D\0\a\x1b\x7f"s + "b", "ab   |     |111|TXXXXXXXXXT"},
    };
    for (const Case& c : cases) {
        for (unsigned cuts = 0; cuts < 1u << (c.input.size() - 1); ++cuts) {
            const std::string got = Decode(c.input, cuts);
            EXPECT_EQ(got, c.expected) << testing::PrintToString(c.input) << " cut by " << cuts;
            if (got != c.expected) {
                break; // the other cuts would only repeat it
            }
        }
    }
}

// The log's gap runs from the read of the byte before to the moment the line was last seen empty
// before this byte: never more than really lay between them. Times in microseconds since the log
// started.
TEST(ByteLog, ShowsTheLeastGapThatCanHaveBeenAndMarksBytesThatWereWaiting) {
    struct Read {
        const char* bytes;
        int emptyBefore;
        int readAt;
    };
    struct Case {
        const char* what;
        std::vector<Read> reads;
        std::vector<std::string> gaps; // the gap column of each byte, trimmed
    };
    const std::vector<Case> cases = {
        {"the first byte has none, the LF of a line break read in one go was waiting",
         {{"a", 0, 1000}, {"\r\n", 3900, 4000}},
         {"–", "≥ 2,900 ms", "schon da"}},
        // Seen on a loaded machine: the reader came 4.6 ms late for the first byte and on time
        // for the second, 5.7 ms later. Only 1.1 ms lay between the two reads, and the log
        // claims no more than it could see.
        {"a reader late for the byte before",
         {{"a", -100, 4600}, {"b", 5650, 5720}},
         {"–", "≥ 1,050 ms"}},
        {"a byte that was waiting before the one before had been read",
         {{"a", 0, 1000}, {"b", 1000, 1200}, {"c", 500, 1300}},
         {"–", "schon da", "schon da"}},
    };
    for (const Case& c : cases) {
        const Clock::time_point start{};
        const auto at = [&](int us) {
            return start + std::chrono::microseconds(us);
        };
        ByteLog log(start);
        PanelDecoder panel(2, 5);
        std::vector<std::string> gaps;
        for (const Read& read : c.reads) {
            for (const LogEntry& entry :
                 log.Receive(panel, Bytes(read.bytes), at(read.emptyBefore), at(read.readAt))) {
                const std::string line = FormatLogEntry(entry);
                std::string gap = line.substr(12); // after the time
                gap.erase(0, gap.find_first_not_of(' '));
                gaps.push_back(gap.substr(0, gap.find("    "))); // before the byte
            }
        }
        EXPECT_EQ(gaps, c.gaps) << c.what;
    }
}

} // namespace
} // namespace sim
