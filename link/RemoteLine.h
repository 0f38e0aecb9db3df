#pragma once

#include "Line.h"
#include "PortName.h"
#include "Stream.h"
#include "TelnetSession.h"

#include <memory>
#include <variant>

// A serial port on another machine, shared on the network by an RFC 2217 server (ser2net):
// the Telnet stream carries the bytes, COM-PORT-OPTION the line's settings and the remote's
// modem lines. Written on plain sockets: the one C++ client library of the kind in Debian
// (gensio) changed its API with every release since Debian 12. The protocol's rules are in
// telnet::CSession; this class does the I/O, the waits and the failures.
//
// The remote UART does CTS in hardware; the panel's XON and XOFF come back as data, for the
// link to act on, as does the remote's news that CTS went off or that it suspends the output.
class CRemoteLine final : public CLine {
public:
    // How long looking the host up and connecting may take; then the TLS handshake, the
    // server's acceptance of a client certificate included (a slow machine's key arithmetic
    // needs its own share); then everything else until the line is set up.
    static constexpr std::chrono::seconds kConnectBound{3};
    static constexpr std::chrono::seconds kHandshakeBound{3};
    static constexpr std::chrono::seconds kNegotiationBound{3};

    // Connects to the remote port, plainly or inside TLS as its name says; fails at
    // LinkStep::Resolve, LinkStep::Connect or LinkStep::Secure.
    [[nodiscard]] static std::variant<std::unique_ptr<CRemoteLine>, LineFailure>
    Connect(const RemoteAddress& address, const WaitHook& onWait);
    // `setUpBy`: the deadline of the negotiation (Configure).
    CRemoteLine(std::unique_ptr<CStream> stream, bool secure, WaitClock::time_point setUpBy)
        : m_stream(std::move(stream))
        , m_secure(secure)
        , m_setUpBy(setUpBy) {}

    // Negotiates binary transfer both ways and COM-PORT-OPTION, then sets the speed, 8N1 and
    // hardware flow control at the remote, and checks each of its replies. Call once.
    [[nodiscard]] std::optional<LineFailure> Configure(int nBaudRate,
                                                       const WaitHook& onWait) override;
    [[nodiscard]] int Fd() const override { return m_stream->Fd(); }
    // One byte per write, so that it leaves in a TCP segment of its own; 0xFF as IAC IAC in the
    // same write. Taken once the stream has taken it whole.
    [[nodiscard]] int Write(char c) override;
    [[nodiscard]] short WriteEvents() const override;
    [[nodiscard]] bool FlowByLink() const override { return true; }
    // The panel's data stays here: only its XON and XOFF count, and Held() tells them.
    [[nodiscard]] int Read(std::string& data) override;
    [[nodiscard]] bool ReadPending() const override { return m_stream->HasPending(); }
    [[nodiscard]] LinkHold Held() const override { return m_session.Held(); }
    [[nodiscard]] LinkHold Hold() const override;
    // Asks the remote to drop what it still holds for its line (PURGE-DATA).
    void DropHeldOutput() override;
    void SendEndedEarly() override { DropHeldOutput(); }
    void Finish(const WaitHook& onWait) override { m_stream->Finish(onWait); }
    // Every failure of the connection ends it; the link's own bounds do not.
    [[nodiscard]] bool Gone(int /*errorNumber*/) const override { return m_broken != 0; }
    [[nodiscard]] bool HungUp() const override;
    // The client key of a secured port, when others than its owner may read it (see
    // CTlsStream); empty otherwise.
    [[nodiscard]] const std::string& KeyOpenToOthers() const { return m_openKey; }

private:
    // Reads what has arrived into the session (a bounded amount per call, so that a remote that
    // never stops sending does not hold the link) and sends what it answers.
    [[nodiscard]] int Receive();
    // Sends what the session has queued: 0 once all is taken, EAGAIN while the stream has no
    // room, else the errno that ended the connection.
    [[nodiscard]] int Flush();
    // Waits, reading and answering, until `done` holds or `deadline`; a failure names the step
    // it belongs to.
    [[nodiscard]] std::optional<LineFailure> AwaitRemote(const std::function<bool()>& done,
                                                         WaitClock::time_point deadline,
                                                         const WaitHook& onWait);
    [[nodiscard]] LineFailure Broken(int errorNumber) const;

    std::unique_ptr<CStream> m_stream;
    bool m_secure = false;
    WaitClock::time_point m_setUpBy;
    std::string m_openKey;
    telnet::CSession m_session;
    bool m_greeted = false;
    int m_broken = 0; // the errno that ended the connection
};
