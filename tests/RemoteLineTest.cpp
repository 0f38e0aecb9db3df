// The link against a real ser2net serving a pseudo-terminal as an RFC 2217 port on the loopback:
// the open, the speeds as they arrive at ser2net's device, and one report with its number for
// each failure of the network. A pseudo-terminal has no modem lines, so ser2net reports CTS off
// and nothing can be sent here; the guest rig sends through real UARTs.
#include "LineReadback.h"
#include "OpenAttempt.h"
#include "PtyPair.h"
#include "Ser2net.h"

#include <ComPort.h>
#include <PortNames.h>
#include <TcpStream.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>

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

TEST_F(RemoteLineTest, CtsOffAtTheRemoteHoldsTheFirstByteAndReportsOnceWithTheCtsReason) {
    CComPort port(Recorder());
    EXPECT_EQ(port.SendText("abc"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::CtsOff);
    EXPECT_EQ(reports[0].device, server.Url());
    EXPECT_EQ(panel.ReadAll(), "") << "nothing leaves later";
}

TEST_F(RemoteLineTest, SecondClientIsToldThePortIsBusy) {
    CComPort first(Recorder());
    ASSERT_TRUE(first.IsOpen());
    CComPort second(Recorder());
    EXPECT_FALSE(second.IsOpen());
    ASSERT_TRUE(OneReport(reports, LinkStep::Open, EBUSY));
    EXPECT_EQ(reports[0].device, server.Url());
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

// Closed with the remote's last words still unread, a connection ends in order: the remote
// reads everything the link sent and then the end of the stream, not a reset that may drop it,
// and so sees the link gone before a reconnect that follows at once.
TEST(RemoteLineClose, TheRemoteReadsAllThatWasSentAndThenAnOrderlyEnd) {
    const UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(listener.valid());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
    auto connected = CTcpStream::Connect({"127.0.0.1", std::to_string(ntohs(address.sin_port))},
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
