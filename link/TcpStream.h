#pragma once

#include "LineFailure.h"
#include "PortName.h"
#include "Stream.h"
#include "UniqueFd.h"
#include "Wait.h"

#include <variant>

// A plain TCP connection to a port on another machine. A secured stream wraps the connected
// socket that Connect gives instead.
class CTcpStream final : public CStream {
public:
    // Looks the host up (an address as such needs none) and connects to the first of its
    // addresses that answers, by `deadline`: a new attempt starts beside the pending ones every
    // 250 ms (RFC 8305), so that a dead first address does not use up the bound. Nagle's delay
    // is off: every byte leaves in a segment of its own, at once. Fails at LinkStep::Resolve
    // (the name; EINVAL for a host HostKind::OtherNumeric) or LinkStep::Connect, with the most
    // telling errno of the attempts (ECONNREFUSED before ETIMEDOUT).
    [[nodiscard]] static std::variant<UniqueFd, LineFailure>
    Connect(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait);

    explicit CTcpStream(UniqueFd socket)
        : m_socket(std::move(socket)) {}
    ~CTcpStream() override {
        if (!m_finished)
            EndInOrder(m_socket.get(), nullptr);
    }
    CTcpStream(const CTcpStream&) = delete;
    CTcpStream& operator=(const CTcpStream&) = delete;

    // How long a closing connection waits for the remote to close its side.
    static constexpr std::chrono::milliseconds kFinishBound{500};
    // Ends a connection in order before its descriptor is closed: says that nothing more comes,
    // then reads and drops what the remote still sends until it closes its side too, or
    // kFinishBound passes, running `onWait` meanwhile. A socket closed with bytes unread resets
    // the connection instead, and the remote may drop what it had not read yet; and a
    // reconnect that follows at once must reach the remote after it has seen this connection
    // end, or ser2net may take it for a second client while the first still holds the port.
    static void EndInOrder(int fd, const WaitHook& onWait);

    void Finish(const WaitHook& onWait) override;

    [[nodiscard]] int Fd() const override { return m_socket.get(); }
    [[nodiscard]] ssize_t Write(const char* data, std::size_t size) override;
    [[nodiscard]] ssize_t Read(char* data, std::size_t size) override;
    [[nodiscard]] short Wants() const override;
    [[nodiscard]] bool HasPending() const override { return false; }

private:
    UniqueFd m_socket;
    short m_wants = 0;
    bool m_finished = false;
};
