#pragma once

#include "LinkError.h"
#include "Stream.h"
#include "TlsCredentials.h"
#include "TlsOptions.h"
#include "UniqueFd.h"
#include "Wait.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

// TLS (1.2 or newer, OpenSSL) over a connected socket to a port on another machine. The
// server's certificate must chain to the trusted CAs and name the host, as a DNS name or an IP
// address in its subjectAltName (as KindOfHost reads the host); nothing turns either check off.
class CTlsStream final : public CStream {
public:
    using Clock = WaitClock;

    // `host` as the port name gives it (an IPv6 address without its brackets).
    CTlsStream(UniqueFd socket, std::string host, TlsOptions options);
    ~CTlsStream() override;
    CTlsStream(const CTlsStream&) = delete;
    CTlsStream& operator=(const CTlsStream&) = delete;

    // Loads the CAs and the client certificate and makes the secured connection by `deadline`,
    // running `onWait` every few milliseconds meanwhile. It first listens for a moment (50 ms
    // at least): a plain port speaks first, and is refused before it sees a TLS byte. A server that
    // asks for a client certificate may still turn it down after its side of the handshake: then
    // the handshake lasts until the server's first bytes, which stay for Read. Call once.
    [[nodiscard]] std::optional<SecureFailure> Handshake(Clock::time_point deadline,
                                                         const WaitHook& onWait);

    // The key file may be read by others than its owner (group or other permission bits): it
    // was used all the same, the caller warns, as ssh does.
    [[nodiscard]] bool KeyOpenToOthers() const { return m_keyOpenToOthers; }

    [[nodiscard]] int Fd() const override { return m_socket.get(); }
    [[nodiscard]] ssize_t Write(const char* data, std::size_t size) override;
    [[nodiscard]] ssize_t Read(char* data, std::size_t size) override;
    [[nodiscard]] short Wants() const override { return m_wants; }
    [[nodiscard]] bool HasPending() const override;
    void Finish(const WaitHook& onWait) override;

    // Whether the first bytes a plain client got from its remote are a TLS record's start:
    // the port behind a plain name speaks TLS (LinkTls::TlsExpected).
    [[nodiscard]] static bool LooksLikeTls(std::string_view firstBytes);

private:
    void EndInOrder(const WaitHook& onWait);
    [[nodiscard]] std::optional<SecureFailure> HandshakeSteps(Clock::time_point deadline,
                                                              const WaitHook& onWait);
    [[nodiscard]] std::optional<SecureFailure> Prepare();
    [[nodiscard]] std::optional<SecureFailure> ListenFirst(Clock::time_point deadline,
                                                           const WaitHook& onWait);
    [[nodiscard]] std::optional<SecureFailure> AwaitAcceptance(Clock::time_point deadline,
                                                               const WaitHook& onWait);
    [[nodiscard]] SecureFailure Refusal(int result);
    [[nodiscard]] int ErrnoOf(int result, bool writing);
    static void OnMessage(int writing, int version, int contentType, const void* buf,
                          std::size_t len, SSL* ssl, void* self);

    struct Free {
        void operator()(SSL_CTX* ctx) const;
        void operator()(SSL* ssl) const;
    };

    UniqueFd m_socket;
    std::string m_host;
    TlsOptions m_options;
    std::unique_ptr<SSL_CTX, Free> m_ctx;
    std::unique_ptr<SSL, Free> m_ssl; // after m_ctx: freed first
    short m_wants = 0;
    bool m_keyOpenToOthers = false;
    bool m_established = false;
    bool m_finished = false;
    bool m_fatal = false;            // OpenSSL forbids a close_notify after a fatal error
    bool m_recordSeen = false;       // the first record's header came in
    bool m_remoteSpeaksTls = false;  // and it was a TLS record's
    bool m_certificateAsked = false; // the server sent a CertificateRequest
};
