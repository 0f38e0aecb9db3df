// The link to a port on another machine: ser2net on the guest's loopback shares the 16550 ttyS1
// (far end ttyS4) and ttyS6 (CTS off) by RFC 2217, as a bench box shares its UART. A
// pseudo-terminal behind ser2net could not show this: it has no modem lines and no output queue.
#include "BenchText.h"
#include "FileHolder.h"
#include "GuestRig.h"
#include "JitterRelay.h"
#include "LineTimer.h"
#include "PtyPair.h"
#include "ReadBytes.h"
#include "SerialFarEnd.h"
#include "WriteTrace.h"

#include <ComPort.h>
#include <SendOptions.h>
#include <SendRun.h>

#include <gtest/gtest.h>

#include <sysexits.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>
#include <variant>

using namespace std::chrono_literals;

namespace {

class RemoteSerialTest : public RigTest {
protected:
    const std::string m_remote = Rig("KELMORA_RIG_REMOTE_UART");
    const std::string m_device = Rig("KELMORA_RIG_UART"); // ser2net's device
    const std::string m_far = Rig("KELMORA_RIG_UART_FAR");

    // A test that failed while ser2net was away leaves it running for the next.
    void TearDown() override {
        if (!m_remote.empty()) {
            EXPECT_TRUE(StartSer2net());
        }
    }
};

// Each speed is set at ser2net's device (14400 through the kernel's custom-speed path), with
// hardware flow and without IXON, which would swallow the panel's XOFF there.
TEST_F(RemoteSerialTest, EverySpeedReachesSer2netsDeviceAndEveryByteValueTheFarEnd) {
    PortEnvironment ports{{m_remote, "", "", ""}};
    CComPort port(Recorder());
    for (int speed : {2400, 9600, 14400, 19200, 38400}) {
        SerialFarEnd far(m_far, static_cast<unsigned long>(speed));
        port.SetBaudRate(speed);
        ASSERT_TRUE(port.IsOpen()) << speed;
        const LineReadback line = ReadDeviceLine(m_device);
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned long>(speed));
        EXPECT_EQ(line.inputSpeed, static_cast<unsigned long>(speed));
        EXPECT_TRUE(line.eightBits && line.ctsFlow) << speed;
        EXPECT_FALSE(line.parity || line.twoStopBits || line.xonOutput) << speed;

        const std::string text =
            speed == 38400 ? AllByteValues() : std::to_string(speed) + " bit/s\r\n";
        EXPECT_EQ(port.SendText(text), 0u);
        EXPECT_EQ(far.Read(text.size()), text) << speed << " bit/s";
        EXPECT_EQ(far.ReadAll(), "") << speed << " bit/s";
    }
    EXPECT_TRUE(reports.empty());
}

// The first byte waits for CTS; after the report nothing is left at ser2net's device that
// could leave once CTS came.
TEST_F(RemoteSerialTest, CtsOffAtSer2netsDeviceIsReportedOnceAndNothingStaysQueued) {
    const std::string remote = Rig("KELMORA_RIG_REMOTE_CTS_LOW");
    const std::string device = Rig("KELMORA_RIG_CTS_LOW");
    PortEnvironment ports{{remote, "", "", ""}};
    CComPort port(Recorder());
    ASSERT_TRUE(reports.empty());

    EXPECT_EQ(port.SendText("hallo\r\n"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::CtsOff);
    EXPECT_EQ(reports[0].device, remote);
    EXPECT_EQ(QueuedOutput(device), 0);
    EXPECT_EQ(port.SendText("x"), static_cast<std::uint32_t>(ETIMEDOUT));
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(QueuedOutput(device), 0);
}

TEST_F(RemoteSerialTest, ASecondClientIsToldThePortIsBusy) {
    PortEnvironment ports{{m_remote, "", "", ""}};
    SerialFarEnd far(m_far);
    CComPort first(Recorder());
    ASSERT_TRUE(reports.empty());
    CComPort second(Recorder());
    EXPECT_TRUE(OneReport(reports, LinkStep::Open, EBUSY));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(first.SendText("erster"), 0u) << "the second client cost the first its port";
    EXPECT_EQ(far.Read(6), "erster");
}

// ser2net gone in the middle of a string is a pulled cable: one report, the rest dropped; the
// next press reconnects once it is back.
TEST_F(RemoteSerialTest, Ser2netKilledMidSendIsReportedOnceAndTheNextPressReconnects) {
    PortEnvironment ports{{m_remote, "", "", ""}};
    SerialFarEnd far(m_far);
    CComPort port(Recorder());
    ASSERT_TRUE(port.IsOpen());
    bool stopped = false;
    std::size_t handedOver = 0;
    port.SetByteHook([&](std::size_t nSent, auto) {
        handedOver = nSent;
        if (nSent == 10)
            stopped = StopSer2net();
        return true;
    });
    const std::string text(300, 'x');
    const std::uint32_t error = port.SendText(text);
    ASSERT_TRUE(stopped);
    EXPECT_NE(error, 0u);
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, static_cast<int>(error)));
    EXPECT_EQ(reports[0].device, m_remote);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_LT(handedOver, text.size()) << "the rest of the string is dropped";

    port.SetPort("COM1:"); // pressed while ser2net is still away
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].step, LinkStep::Transmit);
    EXPECT_EQ(reports[1].errorNumber, static_cast<std::uint32_t>(ECONNREFUSED));
    EXPECT_FALSE(port.IsOpen());

    ASSERT_TRUE(StartSer2net());
    (void)far.ReadAll(); // what left before the stop
    port.SetPort("COM1:");
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.SendText("wieder da"), 0u);
    EXPECT_EQ(far.Read(9), "wieder da");
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(RemoteSerialTest, SendProgramSendsThroughSer2netAndExits74WhenItGoesAway) {
    SerialFarEnd far(m_far);
    const std::array<std::string_view, 3> args{"--port", m_remote, "Hallo\r\n"};
    auto parsed = ParseSendOptions(args);
    ASSERT_TRUE(std::holds_alternative<SendOptions>(parsed))
        << std::get<UsageError>(parsed).message;
    SendOptions& options = std::get<SendOptions>(parsed);
    const CStopSignals stop;
    EXPECT_EQ(RunSend(options, stop), EX_OK);
    EXPECT_EQ(far.Read(7), "Hallo\r\n");

    options.items = {{false, std::string(3000, 'x')}};
    bool stopped = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stopped = StopSer2net();
    });
    int status = -1;
    const std::string shown = StandardErrorOf([&] { status = RunSend(options, stop); });
    stopper.join();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(status, EX_IOERR);
    EXPECT_NE(shown.find(m_remote.substr(m_remote.find("//") + 2)), std::string::npos) << shown;
    ASSERT_TRUE(StartSer2net());
}

// ser2net has closed `device`: the next client of another of its ports that shares the device
// would otherwise find it still taken for a moment.
bool Ser2netLetGo(const std::string& device) {
    const auto until = CComPort::Clock::now() + 3s;
    for (;;) {
        const auto ser2net = HolderOf("ser2net", device);
        if (!ser2net || ser2net->fd < 0)
            return true;
        if (CComPort::Clock::now() > until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

// The same UART behind ser2net inside TLS, certificates checked both ways: every byte value,
// 0xFF doubled inside the secured stream, arrives at the far 16550 unchanged.
TEST_F(RemoteSerialTest, EveryByteValueArrivesThroughTls) {
    const std::string remote = Rig("KELMORA_RIG_REMOTE_TLS");
    PortEnvironment ports{{remote, "", "", ""}};
    SerialFarEnd far(m_far);
    {
        CComPort port(Recorder());
        ASSERT_TRUE(port.IsOpen());
        EXPECT_EQ(port.SendText(AllByteValues()), 0u);
        EXPECT_EQ(far.Read(256), AllByteValues());
        EXPECT_EQ(far.ReadAll(), "");
    }
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(Ser2netLetGo(m_device));
}

// ser2net's rate-limiting filter writes one byte to the UART, then waits 3 ms: the relay's jitter
// moves the link's bytes together on their way, yet ser2net hands them to its UART one at a time,
// the start of each write at least 3.0 ms after the one before (the kernel's own stamps), and
// each reaches the far 16550 on its own. The far end's stamps carry the emulated machine's
// delivery delays (the local UART's bytes, written 3 ms apart, arrive down to a third of a
// millisecond apart here), so their gaps are printed, not bounded.
TEST_F(RemoteSerialTest,
       ThroughTheFilterAndANetworkThatJittersSer2netWritesEveryByteAloneAndOnTime) {
    ASSERT_TRUE(Ser2netLetGo(m_device));
    const auto remote = ParseRemoteAddress(m_remote);
    const auto ser2net = HolderOf("ser2net", m_device);
    if (!remote || !ser2net) {
        ADD_FAILURE() << "no remote port or no ser2net: " << m_remote;
        return;
    }
    const JitterRelay relay(*remote);
    ASSERT_FALSE(relay.Url().empty());
    PortEnvironment ports{{relay.Url(), "", "", ""}};
    LineTimer far(m_far, 38400);
    ASSERT_TRUE(far.IsOpen());
    const std::string text = Pattern(100);
    std::optional<WriteTrace> trace;
    int deviceFd = -1;
    {
        CComPort port(Recorder());
        ASSERT_TRUE(port.IsOpen());
        // ser2net holds its device from the connection on; its writes there count from now.
        if (const auto held = HolderOf("ser2net", m_device))
            deviceFd = held->fd;
        trace.emplace(ser2net->pid);
        ASSERT_TRUE(trace->IsOn());
        EXPECT_EQ(port.SendText(text), 0u);
    }
    const std::vector<Arrival> arrivals = far.Collect(text.size(), 10s);
    std::string received;
    std::vector<Clock::time_point> times;
    for (const Arrival& a : arrivals) {
        received += a.byte;
        times.push_back(a.at);
        EXPECT_FALSE(a.shared) << "byte " << received.size() << " came together with another";
    }
    EXPECT_EQ(received, text);
    ASSERT_GE(deviceFd, 0);
    const auto writes = trace->WritesTo(deviceFd);
    ASSERT_EQ(writes.size(), text.size());
    std::vector<double> written;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].result, 1) << "write " << i;
        if (i == 0)
            continue;
        EXPECT_GE(writes[i].at - writes[i - 1].at, 3000us) << "write " << i;
        written.push_back(
            std::chrono::duration<double, std::milli>(writes[i].at - writes[i - 1].at).count());
    }
    std::vector<double> gaps;
    AppendGaps(times, gaps);
    for (const auto& [where, figures] :
         {std::pair{"ser2net's writes to its 16550", written}, std::pair{"the far 16550", gaps}})
        if (const auto spread = SpreadOf(figures))
            std::cout << "gaps at " << where << ": least " << spread->min << " ms, median "
                      << spread->median << " ms, "
                      << std::ranges::count_if(figures, [](double g) { return g < 3.0; }) << " of "
                      << spread->count << " below 3.0 ms\n";
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(Ser2netLetGo(m_device));
}

} // namespace
