#include "ScriptedTlsPeer.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

using namespace std::chrono_literals;

namespace {

constexpr std::string_view kComPortSettingStart = "\xff\xfa\x2c"; // IAC SB COM-PORT-OPTION
constexpr std::string_view kSettingEnd = "\xff\xf0";              // IAC SE

} // namespace

void ScriptedTlsPeer::Free::operator()(SSL_CTX* ctx) const {
    SSL_CTX_free(ctx);
}

ScriptedTlsPeer::ScriptedTlsPeer(const std::string& certFile, const std::string& keyFile,
                                 Script script)
    : m_ctx(SSL_CTX_new(TLS_server_method()))
    , m_script(std::move(script))
    , m_listener(ListenOnLoopback(4, m_port)) {
    if (!m_ctx || SSL_CTX_use_certificate_chain_file(m_ctx.get(), certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_ctx.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("the peer's certificate cannot be used: " + certFile);
    // The most a record holds, said outright: one Send is one record.
    SSL_CTX_set_max_send_fragment(m_ctx.get(), 16384);
    if (!m_listener.valid())
        throw std::runtime_error("the peer cannot listen on 127.0.0.1");
    m_thread = std::thread([this] { Serve(); });
}

ScriptedTlsPeer::~ScriptedTlsPeer() {
    m_stop = true;
    m_thread.join();
}

void ScriptedTlsPeer::Serve() {
    while (!m_stop) {
        pollfd pfd{m_listener.get(), POLLIN, 0};
        if (::poll(&pfd, 1, 20) != 1)
            continue;
        UniqueFd socket(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket.valid())
            continue;
        ++m_accepted;
        Play(std::move(socket));
    }
}

void ScriptedTlsPeer::Play(UniqueFd socket) {
    // Blocking, but never for long: a silent client ends the script instead of the test.
    const timeval bound{5, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    const std::unique_ptr<SSL, void (*)(SSL*)> ssl(SSL_new(m_ctx.get()), SSL_free);
    if (!ssl || SSL_set_fd(ssl.get(), socket.get()) != 1 || SSL_accept(ssl.get()) != 1)
        return;
    TlsPeerConnection connection(ssl.get());
    m_script(connection);
    SSL_shutdown(ssl.get());
}

bool TlsPeerConnection::Send(std::string_view bytes) {
    return SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
}

bool TlsPeerConnection::ReadSome(std::string& into, std::chrono::milliseconds wait) {
    if (SSL_pending(m_ssl) == 0) {
        pollfd pfd{SSL_get_fd(m_ssl), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(wait.count())) != 1)
            return true;
    }
    char buffer[4096];
    const int n = SSL_read(m_ssl, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::string TlsPeerConnection::Receive(std::chrono::milliseconds within) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < until && ReadSome(got, 20ms)) {
    }
    return got;
}

void TlsPeerConnection::AnswerComPortSettings(std::chrono::milliseconds within) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < until && ReadSome(got, 20ms)) {
        for (;;) {
            const std::size_t start = got.find(kComPortSettingStart);
            const std::size_t end =
                start == std::string::npos
                    ? std::string::npos
                    : got.find(kSettingEnd, start + kComPortSettingStart.size());
            if (end == std::string::npos || end == start + kComPortSettingStart.size())
                break;
            std::string answer(got, start, end + kSettingEnd.size() - start);
            answer[kComPortSettingStart.size()] =
                static_cast<char>(answer[kComPortSettingStart.size()] + 100);
            if (!Send(answer))
                return;
            got.erase(0, end + kSettingEnd.size());
        }
    }
}
