// The Telnet stream of a remote port, decoded and encoded: data with 0xFF doubled, commands and
// COM-PORT-OPTION replies, however the stream is cut between reads, and garbage.
#include <TelnetCodec.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using telnet::Event;
using namespace std::string_literals;

struct Decoded {
    std::string data;
    std::vector<Event> events;
};

// Feeds `stream` cut into pieces of `piece` bytes.
Decoded Decode(const std::string& stream, std::size_t piece) {
    telnet::CDecoder decoder;
    Decoded out;
    for (std::size_t at = 0; at < stream.size(); at += piece)
        decoder.Feed(std::string_view(stream).substr(at, piece), out.data, out.events);
    return out;
}

TEST(TelnetCodec, DecodesDataAndEventsWhereverTheStreamIsCut) {
    const struct {
        const char* name;
        std::string stream;
        std::string data;
        std::vector<std::string> events; // "DO 0", "SB 101 00003840" (value in hex)
    } cases[] = {
        {"plain data", "Hallo\r\n", "Hallo\r\n", {}},
        {"doubled 0xFF",
         "a\xFF\xFF"
         "b",
         "a\xFF"
         "b",
         {}},
        {"negotiation amid data", "x\xFF\xFB\x00y\xFF\xFD\x2C"s, "xy", {"WILL 0", "DO 44"}},
        {"baud reply", "\xFF\xFA\x2C\x65\x00\x00\x38\x40\xFF\xF0"s, "", {"SB 101 00003840"}},
        {"0xFF inside a reply", "\xFF\xFA\x2C\x6B\xFF\xFF\xFF\xF0", "", {"SB 107 ff"}},
        {"modem state, data around it",
         "a\xFF\xFA\x2C\x6B\x10\xFF\xF0"
         "b",
         "ab",
         {"SB 107 10"}},
        {"another option's subnegotiation is ignored", "\xFF\xFA\x18\x01\xFF\xF0z", "z", {}},
        {"NOP and GA say nothing", "\xFF\xF1q\xFF\xF9", "q", {}},
        {"subnegotiation broken off by a command",
         "\xFF\xFA\x2C\x65\x01\xFF\xFD\x00r"s,
         "r",
         {"DO 0"}},
        {"overlong subnegotiation is dropped whole",
         "\xFF\xFA\x2C\x65" + std::string(100, 'z') +
             "\xFF\xF0"
             "ok",
         "ok",
         {}},
        {"ser2net turning a second client away",
         "\xFF\xFB\x03\xFF\xFB\x01Port already in use\r\n",
         "Port already in use\r\n",
         {"WILL 3", "WILL 1"}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece = 1; piece <= c.stream.size(); ++piece) {
            const Decoded out = Decode(c.stream, piece);
            EXPECT_EQ(out.data, c.data) << c.name << ", pieces of " << piece;
            std::vector<std::string> events;
            for (const Event& e : out.events) {
                if (e.kind == Event::Kind::Negotiation) {
                    events.push_back(std::string(e.verb == telnet::kWill   ? "WILL"
                                                 : e.verb == telnet::kWont ? "WONT"
                                                 : e.verb == telnet::kDo   ? "DO"
                                                                           : "DONT") +
                                     " " + std::to_string(e.option));
                } else {
                    std::string hex;
                    for (const char b : e.value) {
                        char digits[3];
                        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(b));
                        hex += digits;
                    }
                    events.push_back("SB " + std::to_string(e.command) + " " + hex);
                }
            }
            EXPECT_EQ(events, c.events) << c.name << ", pieces of " << piece;
        }
    }
}

TEST(TelnetCodec, EncodesWithEvery0xFFDoubled) {
    EXPECT_EQ(telnet::EscapeData("a\xFF"
                                 "b"),
              "a\xFF\xFF"
              "b");
    EXPECT_EQ(telnet::EscapeData("\xFF"), "\xFF\xFF");
    EXPECT_EQ(telnet::ComPortCommand(telnet::ComPort::SetBaudRate, "\x00\x00\x38\x40"s),
              "\xFF\xFA\x2C\x01\x00\x00\x38\x40\xFF\xF0"s);
    EXPECT_EQ(telnet::ComPortCommand(telnet::ComPort::SetModemStateMask, "\xFF"),
              "\xFF\xFA\x2C\x0B\xFF\xFF\xFF\xF0");
    EXPECT_EQ(telnet::Negotiation(telnet::kWill, telnet::kComPortOption), "\xFF\xFB\x2C");
}

} // namespace
