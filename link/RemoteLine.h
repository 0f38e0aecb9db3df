#pragma once

#include "Line.h"
#include "PortName.h"
#include "Stream.h"
#include "TelnetCodec.h"

#include <array>
#include <bitset>
#include <memory>
#include <variant>

// A serial port on another machine, shared on the network by an RFC 2217 server (ser2net):
// the Telnet stream carries the bytes, COM-PORT-OPTION the line's settings and the remote's
// modem lines. Written on plain sockets: the one C++ client library of the kind in Debian
// (gensio) changed its API with every release since Debian 12.
//
// The remote UART does CTS in hardware; the panel's XON and XOFF come back as data, for the
// link to act on, as does the remote's news that CTS went off.
class CRemoteLine final : public CLine {
public:
    // How long looking the host up and connecting may take, and then the negotiation.
    static constexpr std::chrono::seconds kConnectBound{3};
    static constexpr std::chrono::seconds kNegotiationBound{3};

    // Connects to the remote port, plainly or inside TLS as its name says; fails at
    // LinkStep::Resolve, LinkStep::Connect or LinkStep::Secure.
    [[nodiscard]] static std::variant<std::unique_ptr<CRemoteLine>, LineFailure>
    Connect(const RemoteAddress& address, const WaitHook& onWait);
    explicit CRemoteLine(std::unique_ptr<CStream> stream, bool secure = false)
        : m_stream(std::move(stream))
        , m_secure(secure) {}

    // Negotiates binary transfer both ways and COM-PORT-OPTION, then sets the speed, 8N1 and
    // hardware flow control at the remote, and checks each of its replies.
    [[nodiscard]] std::optional<LineFailure> Configure(int nBaudRate,
                                                       const WaitHook& onWait) override;
    [[nodiscard]] int Fd() const override { return m_stream->Fd(); }
    // One byte per write, so that it leaves in a TCP segment of its own; 0xFF as IAC IAC in the
    // same write. Taken once the socket has taken it whole.
    [[nodiscard]] int Write(char c) override;
    [[nodiscard]] short WriteEvents() const override;
    [[nodiscard]] bool FlowByLink() const override { return true; }
    [[nodiscard]] int Read(std::string& data) override;
    [[nodiscard]] bool CtsOff() const override {
        return m_modemState && !(*m_modemState & telnet::kModemCts);
    }
    [[nodiscard]] LinkHold Hold() const override {
        return CtsOff() ? LinkHold::CtsOff : LinkHold::OutputHeld;
    }
    // Asks the remote to drop what it still holds for its line (PURGE-DATA).
    void DropHeldOutput() override;
    // Every failure of the connection ends it; ETIMEDOUT is the link's own bound.
    [[nodiscard]] bool Gone(int errorNumber) const override { return errorNumber != ETIMEDOUT; }
    [[nodiscard]] bool HungUp() const override;
    // The client key of a secured port, when others than its owner may read it (see
    // CTlsStream); empty otherwise.
    [[nodiscard]] const std::string& KeyOpenToOthers() const { return m_openKey; }

private:
    // Reads and decodes whatever has arrived, answering the remote's requests.
    [[nodiscard]] int Receive();
    void Handle(const telnet::Event& event);
    [[nodiscard]] int SendAll(std::string_view bytes, WaitClock::time_point deadline,
                              const WaitHook& onWait);
    [[nodiscard]] int FlushPending();
    // Waits, reading, until `done` holds; a failure names the step it belongs to.
    [[nodiscard]] std::optional<LineFailure> AwaitRemote(const std::function<bool()>& done,
                                                         WaitClock::time_point deadline,
                                                         const WaitHook& onWait);
    [[nodiscard]] LineFailure Broken(int errorNumber) const;

    std::unique_ptr<CStream> m_stream;
    bool m_secure = false;
    std::string m_openKey;
    std::string m_firstBytes; // the first bytes the remote sent, as they came
    telnet::CDecoder m_decoder;
    std::string m_data;    // data bytes received, not yet read
    std::string m_pending; // what the socket has not taken yet of a byte's encoding
    bool m_pendingIsByte = false;
    // What the remote agreed to: it will receive binary, it will send binary, COM-PORT-OPTION.
    bool m_remoteDoesBinary = false;
    bool m_remoteSendsBinary = false;
    bool m_remoteDoesComPort = false;
    bool m_refused = false; // the remote declined one of them
    std::bitset<256> m_declinedDo;
    std::bitset<256> m_declinedWill;
    // The last reply to each COM-PORT-OPTION command, by the client's code.
    std::array<std::optional<std::string>, 16> m_replies;
    std::optional<std::uint8_t> m_modemState; // the last NOTIFY-MODEMSTATE
};
