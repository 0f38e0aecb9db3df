#pragma once

#include <UniqueFd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

// The server's side of one TLS connection, as a script drives it.
class TlsPeerConnection {
public:
    explicit TlsPeerConnection(SSL* ssl)
        : m_ssl(ssl) {}

    // One SSL_write: the bytes leave as one record (up to 16 KiB, the most a record holds).
    bool Send(std::string_view bytes);
    // What the client sent within `within`, or until it closed.
    std::string Receive(std::chrono::milliseconds within);
    // Answers each COM-PORT-OPTION setting the client sends (IAC SB 44 c … IAC SE) with the
    // same value under c + 100, as an RFC 2217 server does, until the client closes or `within`
    // passes.
    void AnswerComPortSettings(std::chrono::milliseconds within);

private:
    // Reads what is there, waiting at most `wait` for it; false at the end of the stream.
    bool ReadSome(std::string& into, std::chrono::milliseconds wait);

    SSL* m_ssl;
};

// A TLS server on 127.0.0.1 that plays a script on each connection it takes, on a thread of
// its own, with a certificate and key of make-test-certificates.sh. Nothing is checked in the
// thread; the test looks at what the client made of it, and at Accepted().
class ScriptedTlsPeer {
public:
    using Script = std::function<void(TlsPeerConnection&)>;

    ScriptedTlsPeer(const std::string& certFile, const std::string& keyFile, Script script);
    ~ScriptedTlsPeer();
    ScriptedTlsPeer(const ScriptedTlsPeer&) = delete;
    ScriptedTlsPeer& operator=(const ScriptedTlsPeer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    // How many connections reached it, whether or not their handshake succeeded.
    [[nodiscard]] int Accepted() const { return m_accepted; }

private:
    void Serve();
    void Play(UniqueFd socket);

    struct Free {
        void operator()(SSL_CTX* ctx) const;
    };
    std::unique_ptr<SSL_CTX, Free> m_ctx;
    Script m_script;
    int m_port = 0;
    UniqueFd m_listener; // after m_port, which it sets
    std::atomic<int> m_accepted{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: started once all else is there
};
