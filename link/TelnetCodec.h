#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The Telnet protocol as a port on another machine speaks it (RFC 854, with the COM-PORT-OPTION
// of RFC 2217), as plain code: bytes in, data and events out, and the other way round. No
// sockets; what is not understood is dropped, never trusted.
namespace telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands; the server answers each of the client's with its code + 100, and
// sends NOTIFY-MODEMSTATE and FLOWCONTROL-SUSPEND and -RESUME of its own accord (the client
// never sends those two: see ServerQuirks.h).
enum class ComPort : std::uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetModemStateMask = 11,
    PurgeData = 12,
};
inline constexpr std::uint8_t kServerReply = 100;
// NOTIFY-MODEMSTATE's bit for CTS.
inline constexpr std::uint8_t kModemCts = 0x10;

// Something the far end said besides data.
struct Event {
    enum class Kind {
        Negotiation, // `verb` (kDo, kDont, kWill, kWont) for `option`
        ComPort,     // a COM-PORT-OPTION subnegotiation: `command` (the server's code), `value`
    };
    Kind kind = Kind::Negotiation;
    std::uint8_t verb = 0;
    std::uint8_t option = 0;
    std::uint8_t command = 0;
    std::string value;
};

// Splits the received stream into data bytes and events, across any cut between reads.
class CDecoder {
public:
    // Longest subnegotiation kept; a longer one is dropped whole. RFC 2217's longest is 5 bytes.
    static constexpr std::size_t kMaxSubnegotiation = 64;

    // Appends the data bytes in `in` to `data` and what else it says to `events`.
    void Feed(std::string_view in, std::string& data, std::vector<Event>& events);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void EndSubnegotiation(std::vector<Event>& events);

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::string m_sub; // option, command, value
    bool m_subTooLong = false;
};

// IAC VERB OPTION.
[[nodiscard]] std::string Negotiation(std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION COMMAND VALUE IAC SE, with every 0xFF of the value doubled.
[[nodiscard]] std::string ComPortCommand(ComPort command, std::string_view value);
// Data as it travels: every 0xFF doubled.
[[nodiscard]] std::string EscapeData(std::string_view data);

} // namespace telnet
