#pragma once

#include "LinkError.h"

#include <optional>
#include <string>

using SSL_CTX = struct ssl_ctx_st;

// Why a secured connection could not be made: LinkError's tls and errorNumber.
struct SecureFailure {
    LinkTls cause;
    int errorNumber;
};

// The files a secured port's name gives (ca=, cert=, key=), loaded into a TLS context. Each is
// opened once, without waiting (a FIFO would hold the open until a writer came), and used only
// when it is a regular file; what is loaded are the bytes read from that very descriptor, so
// that a file swapped meanwhile cannot slip in. Anything else is EINVAL at the file's cause,
// as a file without the PEM content asked for.
class CTlsCredentials {
public:
    explicit CTlsCredentials(SSL_CTX* ctx)
        : m_ctx(ctx) {}

    // The CAs trusted instead of the system's store; EINVAL when the file holds none.
    [[nodiscard]] std::optional<SecureFailure> LoadCas(const std::string& caFile);
    // The client certificate with the chain after it, and its key. No passphrase is ever asked
    // for: an encrypted key is EINVAL.
    [[nodiscard]] std::optional<SecureFailure> LoadClientCertificate(const std::string& certFile,
                                                                     const std::string& keyFile);
    // The key file may be read by others than its owner (group or other permission bits): it
    // was used all the same.
    [[nodiscard]] bool KeyOpenToOthers() const { return m_keyOpenToOthers; }

    // For OpenSSL's passphrase callbacks: never one.
    static int NoPassphrase(char* buf, int size, int rwflag, void* userdata);

private:
    [[nodiscard]] std::optional<SecureFailure> LoadKey(const std::string& keyFile);

    SSL_CTX* m_ctx;
    bool m_keyOpenToOthers = false;
};
