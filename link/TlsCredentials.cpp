#include "TlsCredentials.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

// No PEM file of the link's comes near this; a larger one is no such file.
constexpr std::size_t kMaxFileSize = 4 << 20;

// A file's bytes, wiped when done with: they may be a key.
struct FileBytes {
    std::string bytes;
    mode_t mode = 0;
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
};

// Reads a regular file whole into `file`: 0, or the errno (EINVAL for anything but a regular
// file, EFBIG beyond kMaxFileSize).
int ReadRegularFile(const std::string& path, FileBytes& file) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (static_cast<std::size_t>(st.st_size) > kMaxFileSize)
        return EFBIG;
    file.mode = st.st_mode;
    file.bytes.resize(kMaxFileSize + 1); // once: growing would leave copies behind
    std::size_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), file.bytes.data() + size, file.bytes.size() - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n);
        if (size > kMaxFileSize)
            return EFBIG;
    }
    file.bytes.resize(size);
    return 0;
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

Bio MemoryOf(const FileBytes& file) {
    return Bio(BIO_new_mem_buf(file.bytes.data(), static_cast<int>(file.bytes.size())));
}

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

} // namespace

int CTlsCredentials::NoPassphrase(char* /*buf*/, int /*size*/, int /*rwflag*/, void* /*userdata*/) {
    return -1;
}

std::optional<SecureFailure> CTlsCredentials::LoadCas(const std::string& caFile) {
    FileBytes file;
    if (const int error = ReadRegularFile(caFile, file))
        return SecureFailure{LinkTls::CaFile, error};
    const Bio bio = MemoryOf(file);
    STACK_OF(X509_INFO)* infos =
        bio ? PEM_X509_INFO_read_bio(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    if (!infos)
        return SecureFailure{LinkTls::CaFile, EINVAL};
    X509_STORE* store = SSL_CTX_get_cert_store(m_ctx);
    int added = 0;
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        const X509_INFO* info = sk_X509_INFO_value(infos, i);
        if (info->x509 && X509_STORE_add_cert(store, info->x509) == 1)
            ++added;
        if (info->crl)
            X509_STORE_add_crl(store, info->crl);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    if (added == 0)
        return SecureFailure{LinkTls::CaFile, EINVAL};
    return std::nullopt;
}

std::optional<SecureFailure> CTlsCredentials::LoadClientCertificate(const std::string& certFile,
                                                                    const std::string& keyFile) {
    FileBytes file;
    if (const int error = ReadRegularFile(certFile, file))
        return SecureFailure{LinkTls::CertFile, error};
    const Bio bio = MemoryOf(file);
    const std::unique_ptr<X509, X509Free> leaf(
        bio ? PEM_read_bio_X509_AUX(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr);
    if (!leaf || SSL_CTX_use_certificate(m_ctx, leaf.get()) != 1 ||
        SSL_CTX_clear_chain_certs(m_ctx) != 1)
        return SecureFailure{LinkTls::CertFile, EINVAL};
    ERR_clear_error();
    while (X509* issuer = PEM_read_bio_X509(bio.get(), nullptr, NoPassphrase, nullptr)) {
        if (SSL_CTX_add0_chain_cert(m_ctx, issuer) != 1) {
            X509_free(issuer);
            return SecureFailure{LinkTls::CertFile, EINVAL};
        }
    }
    // The chain ends where no further certificate starts; anything else is a broken one.
    const unsigned long end = ERR_peek_last_error();
    if (end != 0 && (ERR_GET_LIB(end) != ERR_LIB_PEM || ERR_GET_REASON(end) != PEM_R_NO_START_LINE))
        return SecureFailure{LinkTls::CertFile, EINVAL};
    ERR_clear_error();
    return LoadKey(keyFile);
}

// The key's permissions are those of the very file read.
std::optional<SecureFailure> CTlsCredentials::LoadKey(const std::string& keyFile) {
    FileBytes file;
    if (const int error = ReadRegularFile(keyFile, file))
        return SecureFailure{LinkTls::KeyFile, error};
    m_keyOpenToOthers = (file.mode & (S_IRWXG | S_IRWXO)) != 0;
    const Bio bio = MemoryOf(file);
    EVP_PKEY* key =
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    const bool used = key && SSL_CTX_use_PrivateKey(m_ctx, key) == 1;
    EVP_PKEY_free(key);
    if (!used || SSL_CTX_check_private_key(m_ctx) != 1)
        return SecureFailure{LinkTls::KeyFile, EINVAL};
    return std::nullopt;
}
