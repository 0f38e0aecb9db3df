// The link against a real ser2net serving a pseudo-terminal as an RFC 2217 port on the loopback:
// the open, the speeds as they arrive at ser2net's device, and one report with its number for
// each failure of the network. A pseudo-terminal has no modem lines, so ser2net reports CTS off
// and nothing can be sent here; the guest rig sends through real UARTs.
#include "LineReadback.h"
#include "Loopback.h"
#include "OpenAttempt.h"
#include "PtyPair.h"
#include "Ser2net.h"

#include <ComPort.h>
#include <ConnectRace.h>
#include <PortNames.h>
#include <TcpStream.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

using namespace std::chrono_literals;

namespace {

class RemoteLineTest : public ::testing::Test, protected ReportLog {
protected:
    PtyPair panel;
    Ser2net server{panel.Path()};
    PortEnvironment ports{{server.Url(), "", "", ""}};
};

TEST_F(RemoteLineTest, EachSpeedArrivesAtTheRemoteDeviceWithEightNoneOneAndHardwareFlow) {
    CComPort port(Recorder());
    ASSERT_TRUE(port.IsOpen());
    for (int speed : {2400, 9600, 14400, 19200, 38400}) {
        port.SetBaudRate(speed);
        const LineReadback line = ReadLine(panel.Slave());
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned long>(speed));
        EXPECT_EQ(line.inputSpeed, static_cast<unsigned long>(speed));
        EXPECT_TRUE(line.eightBits && line.ctsFlow);
        EXPECT_FALSE(line.parity || line.twoStopBits);
        EXPECT_FALSE(line.xonOutput) << "the panel's XOFF must come through to the link";
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(RemoteLineTest, RemoteGoneWhileOpenIsReportedOnceAndTheNextPressReconnects) {
    CComPort port(Recorder());
    ASSERT_TRUE(port.IsOpen());
    server.Kill();
    EXPECT_NE(port.SendText("abc"), 0u);
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ECONNRESET));
    EXPECT_FALSE(port.IsOpen()) << "closed at once, as a pulled cable";

    reports.clear();
    EXPECT_EQ(port.SendText("d"), static_cast<std::uint32_t>(ENOTCONN));
    EXPECT_EQ(reports.size(), 1u);

    server.Start();
    reports.clear();
    port.SetPort(kPortNames[0]);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(reports.empty());
}

// A remote that cannot be reached: one report each, at the step that failed.
TEST(RemoteLineFailure, UnreachableRemotesAreReportedOnceEach) {
    // A DNS label is at most 63 bytes: the resolver refuses this name before any query leaves
    // the machine.
    const std::string noSuchName = std::string(64, 'x') + ".invalid";
    const struct {
        std::string url;
        LinkStep step;
        int errorNumber;
    } cases[] = {
        {"rfc2217://127.0.0.1:" + std::to_string(Ser2net::FreePort()), LinkStep::Connect,
         ECONNREFUSED},
        {"rfc2217://[::1]:" + std::to_string(Ser2net::FreePort()), LinkStep::Connect, ECONNREFUSED},
        {"rfc2217://" + noSuchName + ":7000", LinkStep::Resolve, ENOENT},
        {"rfc2217://rack-3", LinkStep::Resolve, EINVAL}, // no port: nothing to look up
        // 127.0.0.1 to the resolver, another address or a name to a certificate check:
        {"rfc2217://127.1:" + std::to_string(Ser2net::FreePort()), LinkStep::Resolve, EINVAL},
    };
    for (const auto& c : cases) {
        PortEnvironment ports{{c.url, "", "", ""}};
        ReportLog log;
        CComPort port(log.Recorder());
        EXPECT_FALSE(port.IsOpen()) << c.url;
        ASSERT_TRUE(OneReport(log.reports, c.step, c.errorNumber)) << c.url;
        EXPECT_EQ(log.reports[0].device, c.url);
    }
}

// A host is an address in its standard notation or a name; what the resolver reads as an address
// besides is refused, as the certificate check would read it otherwise.
TEST(RemoteAddress, AHostIsAnAddressInStandardNotationOrAName) {
    const struct {
        const char* name;
        const char* host; // "" when refused
    } cases[] = {
        {"rfc2217://127.0.0.1:7000", "127.0.0.1"},
        {"rfc2217://[::1]:7000", "::1"},
        {"rfc2217://[::ffff:127.0.0.1]:7000", "::ffff:127.0.0.1"},
        {"rfc2217://[fe80::1%1]:7000", "fe80::1%1"},
        {"rfc2217://rack-3:7000", "rack-3"},
        {"rfc2217://0177.0.0.1:7000", ""},
        {"rfc2217+tls://0177.0.0.1:7011?ca=/etc/bench/ca.pem", ""},
        {"rfc2217://127.1:7000", ""},
        {"rfc2217://127.0.0.01:7000", ""},
        {"rfc2217://0x7f.1:7000", ""},
        {"rfc2217://2130706433:7000", ""},
        {"rfc2217://[fe80::1%abc]:7000", ""}, // no such interface
    };
    for (const auto& c : cases) {
        const auto address = ParseRemoteAddress(c.name);
        EXPECT_EQ(address ? address->host : std::string(), c.host) << c.name;
    }
}

// Whether a non-blocking connection to `address` is made within `within`.
bool ConnectsWithin(const sockaddr_storage& address, std::chrono::milliseconds within,
                    UniqueFd& socket) {
    socket.reset(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const socklen_t size =
        address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), size) == 0)
        return true;
    pollfd pfd{socket.get(), POLLOUT, 0};
    int error = 0;
    socklen_t errorSize = sizeof error;
    return ::poll(&pfd, 1, static_cast<int>(within.count())) == 1 &&
           ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &errorSize) == 0 && error == 0;
}

// A first address that takes no connection (::1 with a full backlog: the kernel drops the
// SYNs) does not keep the next one from serving: it is tried beside the first and connects,
// within the bound that the first alone would use up.
TEST(RemoteLineConnect, ADeadFirstAddressDoesNotKeepTheNextFromServing) {
    int deadPort = 0;
    const UniqueFd full = ListenOnLoopback(0, deadPort, AF_INET6);
    ASSERT_TRUE(full.valid());
    Endpoint dead;
    auto* a6 = reinterpret_cast<sockaddr_in6*>(&dead.address);
    a6->sin6_family = AF_INET6;
    a6->sin6_addr = in6addr_loopback;
    a6->sin6_port = htons(static_cast<std::uint16_t>(deadPort));
    dead.size = sizeof(sockaddr_in6);
    UniqueFd filling;
    UniqueFd hanging;
    ASSERT_TRUE(ConnectsWithin(dead.address, 1000ms, filling)) << "the one its backlog takes";
    ASSERT_FALSE(ConnectsWithin(dead.address, 500ms, hanging)) << "a further one must hang";

    int port = 0;
    const UniqueFd serving = ListenOnLoopback(4, port);
    ASSERT_TRUE(serving.valid());
    Endpoint live;
    auto* a4 = reinterpret_cast<sockaddr_in*>(&live.address);
    a4->sin_family = AF_INET;
    a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a4->sin_port = htons(static_cast<std::uint16_t>(port));
    live.size = sizeof(sockaddr_in);

    const auto connected = RaceConnections({dead, live}, WaitClock::now() + 3s, nullptr);
    ASSERT_TRUE(std::holds_alternative<UniqueFd>(connected)) << std::get<int>(connected);
    pollfd arrived{serving.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&arrived, 1, 1000), 1) << "127.0.0.1's listener has it";
}

// The orderly end of a connection waits for the remote; the window stays alive meanwhile.
TEST(RemoteLineClose, AnOrderlyEndRunsTheWaitHook) {
    int port = 0;
    const UniqueFd listener = ListenOnLoopback(1, port);
    ASSERT_TRUE(listener.valid());
    auto connected =
        CTcpStream::Connect({"127.0.0.1", std::to_string(port)}, WaitClock::now() + 3s, nullptr);
    ASSERT_TRUE(std::holds_alternative<UniqueFd>(connected));
    const UniqueFd remote(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(remote.valid());
    CTcpStream stream(std::move(std::get<UniqueFd>(connected)));

    int hooks = 0;
    stream.Finish([&] { ++hooks; }); // the remote stays silent: the whole bound
    EXPECT_GT(hooks, 0);
    char byte = 0;
    EXPECT_EQ(::recv(remote.get(), &byte, 1, 0), 0) << "the remote sees the end";
}

// Closed with the remote's last words still unread, a connection ends in order: the remote
// reads everything the link sent and then the end of the stream, not a reset that may drop it,
// and so sees the link gone before a reconnect that follows at once.
TEST(RemoteLineClose, TheRemoteReadsAllThatWasSentAndThenAnOrderlyEnd) {
    int port = 0;
    const UniqueFd listener = ListenOnLoopback(1, port);
    ASSERT_TRUE(listener.valid());
    auto connected = CTcpStream::Connect({"127.0.0.1", std::to_string(port)},
                                         WaitClock::now() + std::chrono::seconds(3), nullptr);
    ASSERT_TRUE(std::holds_alternative<UniqueFd>(connected));
    const UniqueFd remote(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(remote.valid());
    auto stream = std::make_unique<CTcpStream>(std::move(std::get<UniqueFd>(connected)));

    ASSERT_EQ(::send(remote.get(), "unread", 6, 0), 6);
    pollfd arrived{stream->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&arrived, 1, 3000), 1);
    ASSERT_EQ(stream->Write("sent", 4), 4);
    stream.reset(); // the remote stays silent: the link waits out its bound, then closes

    std::string got;
    char buffer[16];
    ssize_t n = 0;
    pollfd readable{remote.get(), POLLIN, 0};
    while (::poll(&readable, 1, 3000) == 1 &&
           (n = ::recv(remote.get(), buffer, sizeof buffer, 0)) > 0)
        got.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(got, "sent");
    EXPECT_EQ(n, 0) << "no orderly end: " << std::strerror(errno);
}

} // namespace
