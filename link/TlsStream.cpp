#include "TlsStream.h"

#include "PortName.h"
#include "TcpStream.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

// How long the link listens before its first TLS bytes, at least: see ListenFirst.
constexpr auto kListenFloor = std::chrono::milliseconds(50);

// The socket under TLS, written with MSG_NOSIGNAL: OpenSSL's own socket BIO uses write(), and
// a remote gone mid-send would end the program with SIGPIPE.
int SocketOf(BIO* bio) {
    return static_cast<const UniqueFd*>(BIO_get_data(bio))->get();
}

int SocketWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketOf(bio), data, static_cast<std::size_t>(size), 0);
    if (n == 0)
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long SocketControl(BIO* bio, int command, long /*number*/, void* /*pointer*/) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    default:
        return 0;
    }
}

const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket");
        BIO_meth_set_write(m, SocketWrite);
        BIO_meth_set_read(m, SocketRead);
        BIO_meth_set_ctrl(m, SocketControl);
        return m;
    }();
    return method;
}

// The reason of OpenSSL's last error when it is one of the TLS layer's, else 0.
int SslReason() {
    const unsigned long error = ERR_peek_last_error();
    return ERR_GET_LIB(error) == ERR_LIB_SSL ? ERR_GET_REASON(error) : 0;
}

} // namespace

void CTlsStream::Free::operator()(SSL_CTX* ctx) const {
    SSL_CTX_free(ctx);
}

void CTlsStream::Free::operator()(SSL* ssl) const {
    SSL_free(ssl);
}

CTlsStream::CTlsStream(UniqueFd socket, std::string host, TlsOptions options)
    : m_socket(std::move(socket))
    , m_host(std::move(host))
    , m_options(std::move(options)) {}

CTlsStream::~CTlsStream() {
    if (!m_finished)
        EndInOrder(nullptr);
}

void CTlsStream::Finish(const WaitHook& onWait) {
    if (!m_finished)
        EndInOrder(onWait);
}

void CTlsStream::EndInOrder(const WaitHook& onWait) {
    m_finished = true;
    // TLS's goodbye first; what the remote still sends, its own goodbye too, is dropped unread.
    if (m_ssl && m_established && !m_fatal)
        SSL_shutdown(m_ssl.get());
    CTcpStream::EndInOrder(m_socket.get(), onWait);
}

std::optional<SecureFailure> CTlsStream::Handshake(Clock::time_point deadline,
                                                   const WaitHook& onWait) {
    auto failure = HandshakeSteps(deadline, onWait);
    m_fatal = failure.has_value();
    return failure;
}

std::optional<SecureFailure> CTlsStream::HandshakeSteps(Clock::time_point deadline,
                                                        const WaitHook& onWait) {
    if (auto failure = Prepare())
        return failure;
    if (auto failure = ListenFirst(deadline, onWait))
        return failure;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(m_ssl.get());
        if (result == 1)
            break;
        const int error = SSL_get_error(m_ssl.get(), result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return Refusal(result);
        if (const int waited = WaitReady(
                m_socket.get(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, onWait))
            return SecureFailure{LinkTls::Failed, waited};
    }
    m_established = true;
    if (m_certificateAsked)
        return AwaitAcceptance(deadline, onWait);
    return std::nullopt;
}

std::optional<SecureFailure> CTlsStream::Prepare() {
    m_ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!m_ctx)
        return SecureFailure{LinkTls::Failed, ENOMEM};
    SSL_CTX* ctx = m_ctx.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_passwd_cb(ctx, CTlsCredentials::NoPassphrase);
    CTlsCredentials credentials(ctx);
    if (m_options.caFile.empty())
        SSL_CTX_set_default_verify_paths(ctx);
    else if (auto failure = credentials.LoadCas(m_options.caFile))
        return failure;
    if (!m_options.certFile.empty()) {
        auto failure = credentials.LoadClientCertificate(m_options.certFile, m_options.keyFile);
        m_keyOpenToOthers = credentials.KeyOpenToOthers();
        if (failure)
            return failure;
    }

    m_ssl.reset(SSL_new(ctx));
    BIO* bio = BIO_new(SocketMethod());
    if (!m_ssl || !bio) {
        BIO_free(bio);
        return SecureFailure{LinkTls::Failed, ENOMEM};
    }
    SSL* ssl = m_ssl.get();
    BIO_set_data(bio, &m_socket);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_connect_state(ssl);
    // A write may be retried from another buffer holding the same bytes.
    SSL_set_mode(ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_set_msg_callback(ssl, OnMessage);
    SSL_set_msg_callback_arg(ssl, this);

    // The name must stand in the subjectAltName, as browsers require; a wildcard stands for a
    // whole label only.
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS |
                                               X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    if (KindOfHost(m_host) == HostKind::Address) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, m_host.c_str()) != 1)
            return SecureFailure{LinkTls::Failed, EINVAL};
    } else if (SSL_set1_host(ssl, m_host.c_str()) != 1 ||
               SSL_set_tlsext_host_name(ssl, m_host.c_str()) != 1) { // SNI: names only
        return SecureFailure{LinkTls::Failed, EINVAL};
    }
    return std::nullopt;
}

// A plain RFC 2217 port would hand the TLS greeting to its serial device, as ~300 bytes of
// garbage for the panel. Such a port speaks first (its Telnet negotiation, within a round trip
// of the connection), a TLS server never does: so the link listens for a moment before it
// greets, a few round trips as the connection measured them, kListenFloor at least.
std::optional<SecureFailure> CTlsStream::ListenFirst(Clock::time_point deadline,
                                                     const WaitHook& onWait) {
    tcp_info info{};
    socklen_t size = sizeof info;
    const auto roundTrip = ::getsockopt(m_socket.get(), IPPROTO_TCP, TCP_INFO, &info, &size) == 0
                               ? std::chrono::microseconds(info.tcpi_rtt)
                               : std::chrono::microseconds(0);
    const auto until =
        std::min(deadline, Clock::now() + std::max<Clock::duration>(kListenFloor, 3 * roundTrip));
    const int waited = WaitReady(m_socket.get(), POLLIN, until, onWait);
    if (waited == ETIMEDOUT)
        return std::nullopt;
    if (waited)
        return SecureFailure{LinkTls::Failed, waited};
    char first = 0;
    const ssize_t n = ::recv(m_socket.get(), &first, 1, MSG_PEEK);
    if (n < 0)
        return SecureFailure{LinkTls::Failed, errno};
    if (n == 0)
        return SecureFailure{LinkTls::Failed, ECONNRESET};
    return SecureFailure{LinkTls::NotTls, EPROTO};
}

// A server that asks for a client certificate decides on it after the client has finished its
// handshake (always with TLS 1.3; ser2net does with 1.2 too), and says no by an alert or by
// closing. Its first bytes mean yes; a server that stays silent until the deadline has not
// said no.
std::optional<SecureFailure> CTlsStream::AwaitAcceptance(Clock::time_point deadline,
                                                         const WaitHook& onWait) {
    for (;;) {
        char byte = 0;
        ERR_clear_error();
        const int result = SSL_peek(m_ssl.get(), &byte, 1);
        if (result > 0)
            return std::nullopt;
        const int error = SSL_get_error(m_ssl.get(), result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return Refusal(result);
        const int waited = WaitReady(
            m_socket.get(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, onWait);
        if (waited == ETIMEDOUT)
            return std::nullopt;
        if (waited)
            return SecureFailure{LinkTls::Failed, waited};
    }
}

// Why the handshake (or the wait for the server's acceptance) ended in `result`.
SecureFailure CTlsStream::Refusal(int result) {
    const int callErrno = errno;
    const int error = SSL_get_error(m_ssl.get(), result);
    switch (SSL_get_verify_result(m_ssl.get())) {
    case X509_V_OK:
        break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return {LinkTls::WrongHost, EKEYREJECTED};
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return {LinkTls::Expired, EKEYEXPIRED};
    default:
        return {LinkTls::UnknownCa, EKEYREJECTED};
    }
    const int reason = SslReason();
    // A Telnet server speaks first, so its negotiation arrives where a TLS record should.
    if ((m_recordSeen && !m_remoteSpeaksTls) || reason == SSL_R_WRONG_VERSION_NUMBER ||
        reason == SSL_R_PACKET_LENGTH_TOO_LONG)
        return {LinkTls::NotTls, EPROTO};
    const bool closed = error == SSL_ERROR_ZERO_RETURN ||
                        (error == SSL_ERROR_SYSCALL && callErrno == 0) ||
                        reason == SSL_R_UNEXPECTED_EOF_WHILE_READING;
    const bool alert = reason >= SSL_AD_REASON_OFFSET && reason < SSL_AD_REASON_OFFSET + 256;
    if (m_certificateAsked && (closed || alert))
        return m_options.certFile.empty() ? SecureFailure{LinkTls::CertificateWanted, ENOKEY}
                                          : SecureFailure{LinkTls::CertificateRefused, EACCES};
    if (error == SSL_ERROR_SYSCALL && callErrno != 0)
        return {LinkTls::Failed, callErrno};
    return {LinkTls::Failed, closed ? ECONNRESET : EPROTO};
}

ssize_t CTlsStream::Write(const char* data, std::size_t size) {
    if (size == 0)
        return 0;
    ERR_clear_error();
    const int n =
        SSL_write(m_ssl.get(), data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    if (n > 0)
        return n;
    errno = ErrnoOf(n, true);
    return -1;
}

ssize_t CTlsStream::Read(char* data, std::size_t size) {
    if (size == 0)
        return 0;
    ERR_clear_error();
    const int n =
        SSL_read(m_ssl.get(), data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
    if (n > 0)
        return n;
    const int error = ErrnoOf(n, false);
    if (error == 0)
        return 0;
    errno = error;
    return -1;
}

// errno for a failed SSL_write or SSL_read, as a socket would give it; 0 for the end of the
// stream, whether the remote closed TLS first or just the connection.
int CTlsStream::ErrnoOf(int result, bool writing) {
    const int callErrno = errno;
    switch (SSL_get_error(m_ssl.get(), result)) {
    case SSL_ERROR_WANT_READ:
        // A read waits for POLLIN anyway; Wants() keeps what a write still waits for.
        if (writing)
            m_wants = POLLIN;
        return EAGAIN;
    case SSL_ERROR_WANT_WRITE:
        m_wants = POLLOUT;
        return EAGAIN;
    case SSL_ERROR_ZERO_RETURN:
        return writing ? EPIPE : 0;
    case SSL_ERROR_SYSCALL:
        m_fatal = true;
        if (callErrno != 0)
            return callErrno;
        return writing ? EPIPE : 0;
    default:
        m_fatal = true;
        if (SslReason() == SSL_R_UNEXPECTED_EOF_WHILE_READING)
            return writing ? EPIPE : 0;
        return EPROTO;
    }
}

bool CTlsStream::HasPending() const {
    return m_ssl && SSL_pending(m_ssl.get()) > 0;
}

bool CTlsStream::LooksLikeTls(std::string_view firstBytes) {
    // A handshake record (22) or an alert (21), in a version 3.x record header.
    return firstBytes.size() >= 2 && (firstBytes[0] == '\x16' || firstBytes[0] == '\x15') &&
           firstBytes[1] == '\x03';
}

void CTlsStream::OnMessage(int writing, int /*version*/, int contentType, const void* buf,
                           std::size_t len, SSL* /*ssl*/, void* self) {
    auto* stream = static_cast<CTlsStream*>(self);
    const auto* bytes = static_cast<const unsigned char*>(buf);
    if (writing || len == 0)
        return;
    if (contentType == SSL3_RT_HEADER && !stream->m_recordSeen) {
        stream->m_recordSeen = true;
        stream->m_remoteSpeaksTls = len >= 2 && bytes[0] >= SSL3_RT_CHANGE_CIPHER_SPEC &&
                                    bytes[0] <= 24 /* heartbeat */ && bytes[1] == 3;
    } else if (contentType == SSL3_RT_HANDSHAKE && bytes[0] == SSL3_MT_CERTIFICATE_REQUEST) {
        stream->m_certificateAsked = true;
    }
}
