#pragma once

#include "LinkError.h"
#include "TelnetCodec.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telnet {

// One connection's dialogue with a port on another machine (RFC 854 with RFC 2217's
// COM-PORT-OPTION), as plain code: bytes in; the bytes to send, the remote's replies, its modem
// state and the flow state out. No socket, no clock: the remote line does the I/O and the waits.
class CSession {
public:
    // How much of what the remote says as text before its line is set up is kept for a report.
    static constexpr std::size_t kWordsKept = 160;

    // Queue the client's opening: binary both ways, COM-PORT-OPTION.
    void Greet();
    // Queue the panel's line settings at `baudRate`: speed, 8N1, hardware flow control, after
    // the modem-state mask that asks for news of CTS.
    void RequestSettings(std::uint32_t baudRate);
    // Queue one of the panel's bytes, 0xFF doubled; Sending() holds until all of it is taken.
    void Send(char c);
    // Queue PURGE-DATA for the remote's buffer towards its serial line. A byte in part taken is
    // no longer waited for: its rest still goes, or the stream would lose its framing.
    void Purge();

    // Takes what the remote sent, a byte at a time, in order: queues the answers to its requests
    // at once, keeps its replies and modem state, and from the last setting's reply on, takes
    // the panel's XON and XOFF out of the data and drops the rest.
    void Feed(std::string_view in);

    // What is to be sent, in order; Sent() removes what the stream took.
    [[nodiscard]] const std::string& Output() const { return m_output; }
    void Sent(std::size_t count);
    // The last byte queued by Send() is not taken whole yet.
    [[nodiscard]] bool Sending() const { return m_byteEnd > 0; }

    [[nodiscard]] bool Spoke() const { return !m_firstBytes.empty(); }
    // Its first bytes, as they came (two at most).
    [[nodiscard]] std::string_view FirstBytes() const { return m_firstBytes; }
    // Binary both ways and COM-PORT-OPTION agreed.
    [[nodiscard]] bool Agreed() const;
    // The remote declined one of them.
    [[nodiscard]] bool Refused() const { return m_refused; }
    // Every setting asked for has its reply.
    [[nodiscard]] bool Configured() const;
    // The first setting answered with another value than asked; None when all match.
    [[nodiscard]] LinkSetting RefusedSetting() const;
    // What holds the panel's output now: CTS off, the panel's XOFF or the server's
    // FLOWCONTROL-SUSPEND; None when nothing.
    [[nodiscard]] LinkHold Held() const;
    // What the remote said before its line was set up, when it is plain text (a server's
    // refusal, "Port already in use"), on one line; empty otherwise.
    [[nodiscard]] std::string Words() const;

private:
    struct Setting {
        ComPort command;
        std::string value;
        LinkSetting setting;
        std::optional<std::string> reply;
    };

    void Handle(const Event& event);
    void HandleComPort(const Event& event);
    void Answer(std::uint8_t verb, std::uint8_t option);
    void Data(char c);

    CDecoder m_decoder;
    std::string m_output;
    std::size_t m_byteEnd = 0; // of m_output, up to the end of the last byte queued by Send()
    std::string m_firstBytes;
    std::string m_words; // data before the line was set up, up to kWordsKept
    // What the remote agreed to: it receives binary, it sends binary, COM-PORT-OPTION.
    bool m_remoteDoesBinary = false;
    bool m_remoteSendsBinary = false;
    bool m_remoteDoesComPort = false;
    bool m_refused = false;
    std::bitset<256> m_answeredDo; // each question is answered once: no loop with a remote
    std::bitset<256> m_answeredWill;
    std::vector<Setting> m_settings;
    std::optional<std::uint8_t> m_modemState; // the last NOTIFY-MODEMSTATE
    bool m_xoff = false;                      // the panel's last XON or XOFF was XOFF
    bool m_suspended = false;                 // FLOWCONTROL-SUSPEND without RESUME since
    // Scratch of the decoder for one byte.
    std::string m_byteData;
    std::vector<Event> m_byteEvents;
};

} // namespace telnet
