#include "ByteLog.h"
#include "Cp1252.h"
#include "PanelDecoder.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace sim {
namespace {

using M = ByteMeaning;
using namespace std::chrono_literals;

std::span<const std::uint8_t> Bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<ByteMeaning> Meanings(const std::vector<ByteEvent>& events) {
    std::vector<ByteMeaning> out;
    for (const ByteEvent& e : events) {
        out.push_back(e.meaning);
    }
    return out;
}

std::vector<std::string> Trimmed(const PanelDecoder& panel) {
    std::vector<std::string> rows = panel.DisplayText();
    for (std::string& row : rows) {
        row.erase(row.find_last_not_of(' ') + 1);
    }
    return rows;
}

TEST(SimPanelDecoder, TextAppearsAtTheCursorInFullWidthRows) {
    PanelDecoder panel;
    EXPECT_EQ(Meanings(panel.Feed(Bytes("Hallo"))), std::vector<M>(5, M::Text));
    EXPECT_EQ(panel.RowText(0), "Hallo               ");
    EXPECT_EQ(panel.RowText(3), std::string(20, ' '));
    EXPECT_EQ(panel.CursorRow(), 0);
    EXPECT_EQ(panel.CursorColumn(), 5);
}

TEST(SimPanelDecoder, CarriageReturnAndLineFeedMoveTheCursorSeparately) {
    struct Case {
        std::string_view input;
        std::vector<std::string> rows;
        int row, column;
    };
    const Case cases[] = {
        {"ab\r\ncd", {"ab", "cd", "", ""}, 1, 2},
        {"ab\ncd", {"ab", "  cd", "", ""}, 1, 4}, // LF keeps the column
        {"abc\rX", {"Xbc", "", "", ""}, 0, 1},    // CR alone overwrites the line
    };
    for (const Case& c : cases) {
        PanelDecoder panel;
        panel.Feed(Bytes(c.input));
        EXPECT_EQ(Trimmed(panel), c.rows) << c.input;
        EXPECT_EQ(panel.CursorRow(), c.row) << c.input;
        EXPECT_EQ(panel.CursorColumn(), c.column) << c.input;
    }
    PanelDecoder panel;
    EXPECT_EQ(Meanings(panel.Feed(Bytes("\r\n"))), (std::vector{M::CarriageReturn, M::LineFeed}));
}

TEST(SimPanelDecoder, WrapsAtTheLineEndAndScrollsAtTheBottom) {
    PanelDecoder panel(2, 3);
    panel.Feed(Bytes("abcd"));
    EXPECT_EQ(panel.DisplayText(), (std::vector<std::string>{"abc", "d  "}));
    EXPECT_EQ(panel.CursorRow(), 1);
    EXPECT_EQ(panel.CursorColumn(), 1);

    panel.Feed(Bytes("ef")); // fills the last cell: the cursor wraps at once, scrolling
    EXPECT_EQ(panel.DisplayText(), (std::vector<std::string>{"def", "   "}));
    EXPECT_EQ(panel.CursorRow(), 1);
    EXPECT_EQ(panel.CursorColumn(), 0);

    panel.Feed(Bytes("g\n\nh")); // line feeds at the bottom scroll too
    EXPECT_EQ(panel.DisplayText(), (std::vector<std::string>{"   ", " h "}));
}

TEST(SimPanelDecoder, ClearBlanksTheDisplayHomesTheCursorAndKeepsTheLeds) {
    PanelDecoder panel(2, 4);
    const std::vector<ByteEvent> events = panel.Feed(Bytes("~L22xyz\r\nw~C"));
    EXPECT_EQ(panel.DisplayText(), (std::vector<std::string>{"    ", "    "}));
    EXPECT_EQ(panel.CursorRow(), 0);
    EXPECT_EQ(panel.CursorColumn(), 0);
    EXPECT_EQ(panel.Led(2), LedMode::Blink);
    ASSERT_EQ(events.size(), 12u);
    EXPECT_EQ(events[10].meaning, M::Command);
    EXPECT_EQ(events[10].byte, '~');
    EXPECT_EQ(events[11].sequence, "~C");
}

TEST(SimPanelDecoder, EveryLedCommandSetsOnlyItsLed) {
    const LedMode modes[] = {LedMode::Off, LedMode::On, LedMode::Blink};
    for (int led = 0; led < 3; ++led) {
        for (int mode = 0; mode < 3; ++mode) {
            PanelDecoder panel;
            panel.Feed(Bytes("~L01~L11~L21")); // all on, so that "off" is seen to change
            const std::string command = "~L" + std::to_string(led) + std::to_string(mode);
            const std::vector<ByteEvent> events = panel.Feed(Bytes(command));
            for (int other = 0; other < 3; ++other) {
                EXPECT_EQ(panel.Led(other), other == led ? modes[mode] : LedMode::On) << command;
            }
            EXPECT_EQ(Meanings(events), std::vector<M>(4, M::Command)) << command;
            EXPECT_EQ(events.back().sequence, command);
            EXPECT_EQ(Trimmed(panel)[0], "") << command;
        }
    }
}

TEST(SimPanelDecoder, CommandSplitAtAnyPointDecodesAsInOneRead) {
    const std::string_view command = "~L12";
    // Each bit of `cuts` cuts the command after that byte.
    for (unsigned cuts = 0; cuts < 8; ++cuts) {
        PanelDecoder panel;
        std::vector<ByteEvent> events;
        std::size_t start = 0;
        for (std::size_t i = 0; i < command.size(); ++i) {
            if (i + 1 == command.size() || (cuts & (1u << i)) != 0) {
                const auto part = panel.Feed(Bytes(command.substr(start, i + 1 - start)));
                events.insert(events.end(), part.begin(), part.end());
                start = i + 1;
            }
        }
        EXPECT_EQ(panel.Led(1), LedMode::Blink) << cuts;
        EXPECT_EQ(Meanings(events), std::vector<M>(4, M::Command)) << cuts;
        EXPECT_EQ(Trimmed(panel)[0], "") << cuts;
        EXPECT_TRUE(panel.OpenSequence().empty());
    }
    PanelDecoder panel;
    EXPECT_TRUE(panel.Feed(Bytes("~L")).empty());
    EXPECT_EQ(panel.OpenSequence(), "~L");
}

TEST(SimPanelDecoder, UnknownSequencesAreShownAsText) {
    struct Case {
        std::string_view input;
        std::vector<std::string> rows;
        std::vector<ByteMeaning> meanings;
    };
    const std::vector<M> u2(2, M::Unknown), u3(3, M::Unknown), u4(4, M::Unknown);
    const Case cases[] = {
        {"~X", {"~X", ""}, u2},
        {"~c", {"~c", ""}, u2},
        {"~L3", {"~L3", ""}, u3},
        {"~L19", {"~L19", ""}, u4},
        {"~LA1", {"~LA1", ""}, {M::Unknown, M::Unknown, M::Unknown, M::Text}},
        // A control byte ends the sequence and then acts on its own.
        {"~L1\r\nA",
         {"~L1", "A"},
         {M::Unknown, M::Unknown, M::Unknown, M::CarriageReturn, M::LineFeed, M::Text}},
        {"~\x01", {"~", ""}, {M::Unknown, M::Control}},
        // A second tilde opens a new command.
        {"~~C", {"", ""}, {M::Unknown, M::Command, M::Command}},
        {"~L~L00",
         {"~L", ""},
         {M::Unknown, M::Unknown, M::Command, M::Command, M::Command, M::Command}},
    };
    for (const Case& c : cases) {
        PanelDecoder panel(2, 20);
        panel.Feed(Bytes("~L21"));
        EXPECT_EQ(Meanings(panel.Feed(Bytes(c.input))), c.meanings) << c.input;
        EXPECT_EQ(Trimmed(panel), c.rows) << c.input;
        EXPECT_EQ(panel.Led(2), LedMode::On) << c.input;
    }
}

TEST(SimPanelDecoder, HighBytesAreWindows1252AndUndefinedOnesShowNothing) {
    PanelDecoder panel;
    const auto events = panel.Feed(Bytes("\x80\xE4\xFC\xDF\x8A\x9F\xA0\xFF\x81\x8D\x8F\x90\x9D"));
    EXPECT_EQ(Trimmed(panel)[0], "€äüßŠŸ\u00A0ÿ");
    EXPECT_EQ(panel.CursorColumn(), 8);
    EXPECT_EQ(Meanings(events),
              (std::vector{M::Text, M::Text, M::Text, M::Text, M::Text, M::Text, M::Text, M::Text,
                           M::Control, M::Control, M::Control, M::Control, M::Control}));
    EXPECT_EQ(Meanings(panel.Feed(Bytes(std::string_view("\0\a\x1b\x7f", 4)))),
              std::vector<M>(4, M::Control));
    EXPECT_EQ(panel.CursorColumn(), 8);
}

TEST(SimCp1252, MapsTheWholeHighHalf) {
    EXPECT_EQ(cp1252::ToUnicode(0x80), U'€');
    EXPECT_EQ(cp1252::ToUnicode(0x85), U'…');
    EXPECT_EQ(cp1252::ToUnicode(0x93), U'\u201C');
    EXPECT_EQ(cp1252::ToUnicode(0x99), U'™');
    EXPECT_EQ(cp1252::ToUnicode(0x9E), U'ž');
    int undefined = 0;
    for (int b = 0x80; b < 0xA0; ++b) {
        undefined += cp1252::ToUnicode(static_cast<std::uint8_t>(b)) ? 0 : 1;
    }
    EXPECT_EQ(undefined, 5);
    for (int b = 0xA0; b <= 0xFF; ++b) {
        EXPECT_EQ(cp1252::ToUnicode(static_cast<std::uint8_t>(b)), static_cast<char32_t>(b));
    }
}

TEST(SimByteLog, EachByteKeepsItsOwnArrivalWhileACommandIsHeldBack) {
    const Clock::time_point t0{};
    PanelDecoder panel;
    ByteLog log(t0);
    EXPECT_EQ(log.Receive(panel, Bytes("A"), t0 + 1ms).size(), 1u);
    EXPECT_TRUE(log.Receive(panel, Bytes("~"), t0 + 4ms).empty());
    EXPECT_TRUE(log.Receive(panel, Bytes("L"), t0 + 7ms).empty());
    const std::vector<LogEntry> entries = log.Receive(panel, Bytes("12B"), t0 + 10ms);

    ASSERT_EQ(entries.size(), 5u);
    const Clock::duration times[] = {4ms, 7ms, 10ms, 10ms, 10ms};
    const Clock::duration gaps[] = {3ms, 3ms, 3ms, 0ms, 0ms};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].time, times[i]) << i;
        EXPECT_EQ(entries[i].gap, gaps[i]) << i;
    }
    EXPECT_EQ(entries[0].event.byte, '~');
    EXPECT_EQ(entries[3].event.byte, '2');
    EXPECT_EQ(MeaningText(entries[3].event), "Befehl ~L12");
    EXPECT_EQ(entries[4].event.meaning, M::Text);
    EXPECT_EQ(panel.Led(1), LedMode::Blink);
}

TEST(SimByteLog, WritesMeaningsAndFiguresTheGermanWay) {
    EXPECT_EQ(MeaningText({'a', M::Text, {}}), "Text");
    EXPECT_EQ(MeaningText({13, M::CarriageReturn, {}}), "CR");
    EXPECT_EQ(MeaningText({10, M::LineFeed, {}}), "LF");
    EXPECT_EQ(MeaningText({'C', M::Command, "~C"}), "Befehl ~C");
    EXPECT_EQ(MeaningText({'X', M::Unknown, "~X"}), "Unbekannt ~X");

    const std::string first = FormatLogEntry({1500ms, std::nullopt, {'~', M::Command, "~L12"}});
    EXPECT_NE(first.find("1,500 s"), std::string::npos) << first;
    EXPECT_EQ(first.find("ms"), std::string::npos) << first;
    EXPECT_NE(first.find("7E"), std::string::npos) << first;

    const std::string later = FormatLogEntry({1503012us, 3012us, {0xE4, M::Text, {}}});
    EXPECT_NE(later.find("3,012 ms"), std::string::npos) << later;
    const std::size_t hex = later.find(" E4 ");
    const std::size_t shown = later.find(" ä ");
    EXPECT_TRUE(hex != std::string::npos && shown != std::string::npos && hex < shown &&
                later.ends_with(" Text"))
        << later;
}

} // namespace
} // namespace sim
