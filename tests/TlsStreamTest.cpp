#include "OpenAttempt.h"
#include "OrdinaryUser.h"
#include "PtyPair.h"
#include "Ser2net.h"

#include <ComPort.h>
#include <TlsOptions.h>
#include <TlsStream.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Clock = CTlsStream::Clock;

// A non-blocking socket connected to 127.0.0.1:port; invalid when nobody listens.
UniqueFd Connect(int port) {
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.valid())
        return {};
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return {};
    ::fcntl(s.get(), F_SETFL, ::fcntl(s.get(), F_GETFL) | O_NONBLOCK);
    return s;
}

// Starts a program with its arguments, no shell between; its pid, or -1.
pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Runs a program to its end; whether it succeeded.
bool RunToEnd(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// ser2net on pseudo-terminals, one accepter per kind of remote, with the certificates of
// make-test-certificates.sh; started once for each test's process.
class SecuredRemote : public ::testing::Test {
protected:
    static inline fs::path s_dir;
    static inline std::map<std::string, std::unique_ptr<PtyPair>> s_ptys; // by accepter
    static inline pid_t s_ser2net = -1;
    static inline std::map<std::string, int> s_ports;

    static void SetUpTestSuite() {
        char dir[] = "/tmp/kelmora-tls-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        s_dir = dir;
        ::chmod(dir, 0755); // the ordinary user's case reads in here
        ASSERT_TRUE(RunToEnd({KELMORA_TEST_CERTIFICATES, s_dir.string()}));
        // Nobody writes to it: opened for reading as a file, it would hold the open for ever.
        ASSERT_EQ(::mkfifo((s_dir / "fifo.pem").c_str(), 0644), 0);
        // ser2net takes a client certificate whose CN is "bench" when it chains to a CA in
        // AUTHDIR/bench/allowed_certs/ (a hashed directory).
        const fs::path allowed = s_dir / "auth" / "bench" / "allowed_certs";
        fs::create_directories(allowed);
        fs::copy_file(s_dir / "ca.pem", allowed / "ca.pem");
        ASSERT_TRUE(RunToEnd({"openssl", "rehash", allowed.string()}));

        const auto ssl = [](const std::string& cert, const std::string& more = "") {
            return "ssl(key=" + (s_dir / (cert + ".key")).string() +
                   ",cert=" + (s_dir / (cert + ".pem")).string() + more + "),";
        };
        const std::map<std::string, std::string> layers = {
            {"tls", ssl("server")},
            {"other-host", ssl("other-host")},
            {"expired", ssl("expired")},
            {"clientauth", ssl("server", ",clientauth")},
            {"plain", ""},
        };
        std::ofstream config(s_dir / "ser2net.yaml");
        for (const auto& [name, layer] : layers) {
            // A device of its own each: a connection holds its device a moment past its end.
            s_ptys[name] = std::make_unique<PtyPair>();
            s_ports[name] = Ser2net::FreePort();
            config << "connection: &" << name << "\n"
                   << "  accepter: telnet(rfc2217)," << layer << "tcp,127.0.0.1," << s_ports[name]
                   << "\n"
                   << "  connector: serialdev," << s_ptys[name]->Path() << ",38400n81,local\n"
                   << "  options:\n    authdir: " << (s_dir / "auth").string() << "\n";
        }
        config.close();
        s_ser2net = Spawn({"ser2net", "-n", "-d", "-c", (s_dir / "ser2net.yaml").string()});
        ASSERT_GT(s_ser2net, 0);
        for (const auto& [name, port] : s_ports) {
            const auto until = Clock::now() + 10s;
            while (!Ser2net::Listening(port) && Clock::now() < until)
                ::usleep(20'000);
            ASSERT_TRUE(Ser2net::Listening(port)) << "ser2net does not listen for " << name;
        }
    }

    static void TearDownTestSuite() {
        if (s_ser2net > 0) {
            ::kill(s_ser2net, SIGTERM);
            ::waitpid(s_ser2net, nullptr, 0);
        }
        s_ptys.clear();
        fs::remove_all(s_dir);
    }

    static std::string File(const std::string& name) {
        return name.empty() ? std::string() : (s_dir / name).string();
    }

    // A stream to the accepter `name`, for `host`, with the handshake made.
    static std::pair<std::unique_ptr<CTlsStream>, std::optional<SecureFailure>>
    Secure(const std::string& name, const std::string& host, const TlsOptions& options) {
        auto stream = std::make_unique<CTlsStream>(Connect(s_ports.at(name)), host, options);
        auto failure = stream->Handshake(Clock::now() + 5s, {});
        return {std::move(stream), failure};
    }

    // What the remote has sent within a second, at most `count` bytes.
    static std::string Received(CStream& stream, std::size_t count) {
        std::string got;
        const auto until = Clock::now() + 1s;
        while (got.size() < count && Clock::now() < until) {
            char buf[64];
            const ssize_t n = stream.Read(buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 || errno != EAGAIN)
                break;
            pollfd pfd{stream.Fd(), stream.Wants(), 0};
            ::poll(&pfd, 1, 50);
        }
        return got;
    }
};

struct Accepted {
    const char* name;
    const char* accepter;
    const char* host;
    const char* cert; // and its .key
};

class SecuredRemoteAccepts : public SecuredRemote,
                             public ::testing::WithParamInterface<Accepted> {};

// ser2net's Telnet negotiation comes through: IAC first.
TEST_P(SecuredRemoteAccepts, AndItsTelnetNegotiationComesThrough) {
    const Accepted& c = GetParam();
    const std::string cert = c.cert;
    const auto [stream, failure] = Secure(c.accepter, c.host,
                                          {File("ca.pem"), File(cert.empty() ? "" : cert + ".pem"),
                                           File(cert.empty() ? "" : cert + ".key")});
    if (failure)
        FAIL() << static_cast<int>(failure->cause) << " " << failure->errorNumber;
    EXPECT_EQ(Received(*stream, 1), "\xff");
    EXPECT_FALSE(stream->KeyOpenToOthers());
}

INSTANTIATE_TEST_SUITE_P(
    , SecuredRemoteAccepts,
    ::testing::Values(Accepted{"IpAddressInSubjectAltName", "tls", "127.0.0.1", ""},
                      Accepted{"DnsNameInSubjectAltName", "tls", "localhost", ""},
                      Accepted{"ClientCertificateFromItsCa", "clientauth", "127.0.0.1", "client"}),
    [](const auto& info) { return std::string(info.param.name); });

// One report from COM1 named `device`, each refusal with its own cause and number.
struct Refusal {
    const char* name;
    const char* device; // "…://HOST:{accepter}?{options}", files relative to the certificates
    const char* accepter;
    LinkStep step;
    LinkTls cause;
    int errorNumber;
};

class SecuredRemoteRefuses : public SecuredRemote, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SecuredRemoteRefuses, OnceWithItsOwnCause) {
    const Refusal& c = GetParam();
    std::string device = c.device;
    device.replace(device.find("{accepter}"), 10, std::to_string(s_ports.at(c.accepter)));
    for (std::size_t at = 0; (at = device.find('=', at)) != std::string::npos; ++at)
        device.insert(at + 1, s_dir.string() + "/");
    ReportLog log;
    const CComPort port(log.Recorder(), "COM1:", 38400, device);
    EXPECT_FALSE(port.IsOpen());
    ASSERT_TRUE(OneReport(log.reports, c.step, c.errorNumber)) << device;
    EXPECT_EQ(log.reports[0].tls, c.cause);
}

INSTANTIATE_TEST_SUITE_P(
    , SecuredRemoteRefuses,
    ::testing::Values(
        Refusal{"CaNotTrusted", "rfc2217+tls://127.0.0.1:{accepter}?ca=stranger-ca.pem", "tls",
                LinkStep::Secure, LinkTls::UnknownCa, EKEYREJECTED},
        Refusal{"SystemCasOnly", "rfc2217+tls://127.0.0.1:{accepter}", "tls", LinkStep::Secure,
                LinkTls::UnknownCa, EKEYREJECTED},
        Refusal{"AddressNotInCertificate", "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem",
                "other-host", LinkStep::Secure, LinkTls::WrongHost, EKEYREJECTED},
        Refusal{"NameNotInCertificate", "rfc2217+tls://localhost:{accepter}?ca=ca.pem",
                "other-host", LinkStep::Secure, LinkTls::WrongHost, EKEYREJECTED},
        Refusal{"CertificateExpired", "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem", "expired",
                LinkStep::Secure, LinkTls::Expired, EKEYEXPIRED},
        Refusal{"ClientCertificateMissing", "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem",
                "clientauth", LinkStep::Secure, LinkTls::CertificateWanted, ENOKEY},
        Refusal{"ClientCertificateOfAStranger",
                "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem&cert=stranger.pem&key=stranger.key",
                "clientauth", LinkStep::Secure, LinkTls::CertificateRefused, EACCES},
        Refusal{"PlainPortBehindATlsName", "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem", "plain",
                LinkStep::Secure, LinkTls::NotTls, EPROTO},
        Refusal{"TlsPortBehindAPlainName", "rfc2217://127.0.0.1:{accepter}", "tls",
                LinkStep::Negotiate, LinkTls::TlsExpected, EPROTO},
        Refusal{"UnknownOption", "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem&verify=none", "tls",
                LinkStep::Secure, LinkTls::Options, EINVAL},
        Refusal{"CaFileMissing", "rfc2217+tls://127.0.0.1:{accepter}?ca=missing.pem", "tls",
                LinkStep::Secure, LinkTls::CaFile, ENOENT},
        Refusal{"CaFileAFifo", "rfc2217+tls://127.0.0.1:{accepter}?ca=fifo.pem", "tls",
                LinkStep::Secure, LinkTls::CaFile, EINVAL},
        Refusal{"CertFileAFifo",
                "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem&cert=fifo.pem&key=client.key",
                "clientauth", LinkStep::Secure, LinkTls::CertFile, EINVAL},
        Refusal{"KeyFileAFifo",
                "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem&cert=client.pem&key=fifo.pem",
                "clientauth", LinkStep::Secure, LinkTls::KeyFile, EINVAL},
        Refusal{"KeyNotTheCertificates",
                "rfc2217+tls://127.0.0.1:{accepter}?ca=ca.pem&cert=client.pem&key=server.key",
                "clientauth", LinkStep::Secure, LinkTls::KeyFile, EINVAL}),
    [](const auto& info) { return std::string(info.param.name); });

// A pseudo-terminal behind ser2net has CTS off: the open goes through TLS, the first byte waits
// for CTS and is reported once.
TEST_F(SecuredRemote, OpensThroughTlsAndReportsCtsOffOnce) {
    ReportLog log;
    CComPort port(log.Recorder(), "COM1:", 38400,
                  "rfc2217+tls://127.0.0.1:" + std::to_string(s_ports.at("clientauth")) +
                      "?ca=" + File("ca.pem") + "&cert=" + File("client.pem") +
                      "&key=" + File("client.key"));
    ASSERT_TRUE(port.IsOpen()) << static_cast<int>(log.reports.at(0).step) << " "
                               << log.reports.at(0).errorNumber << " "
                               << static_cast<int>(log.reports.at(0).tls);
    EXPECT_TRUE(log.reports.empty());
    EXPECT_EQ(port.KeyOpenToOthers(), "");
    EXPECT_EQ(port.SendText("A"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(OneReport(log.reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(log.reports[0].hold, LinkHold::CtsOff);
}

// The panel behind a plain port must not get the TLS greeting as text.
TEST_F(SecuredRemote, APlainPortGetsNoByteOfTls) {
    PtyPair& pty = *s_ptys.at("plain");
    (void)pty.ReadAll(100ms);
    const auto [stream, failure] = Secure("plain", "127.0.0.1", {File("ca.pem"), "", ""});
    ASSERT_TRUE(failure);
    EXPECT_EQ(pty.ReadAll(300ms), "");
}

TEST_F(SecuredRemote, AKeyOthersMayReadIsUsedAndSaidSo) {
    fs::copy_file(s_dir / "client.key", s_dir / "open.key");
    fs::permissions(s_dir / "open.key", fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    const auto [stream, failure] =
        Secure("clientauth", "127.0.0.1", {File("ca.pem"), File("client.pem"), File("open.key")});
    ASSERT_FALSE(failure);
    EXPECT_TRUE(stream->KeyOpenToOthers());
    EXPECT_EQ(Received(*stream, 1), "\xff");
}

// Root reads any file: the user who cannot read the key is an ordinary one.
TEST_F(SecuredRemote, AKeyTheUserCannotReadFailsWithEacces) {
    EXPECT_TRUE(RunAsOrdinaryUser([] {
        auto [stream, failure] = Secure("clientauth", "127.0.0.1",
                                        {File("ca.pem"), File("client.pem"), File("client.key")});
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->cause, LinkTls::KeyFile);
        EXPECT_EQ(failure->errorNumber, EACCES);
    }));
}

} // namespace
