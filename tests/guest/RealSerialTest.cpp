// The link against real kernel drivers: a 16550 UART (8250 driver) and an FTDI USB adapter
// (ftdi_sio), each wired by a null-modem cable to a plain 16550 far end, and a panel that speaks
// USB itself (cdc_acm, with the kernel's CDC-ACM gadget as its far end). Cables are pulled and
// plugged back as at a bench. Runs only inside the throw-away test machine that run-guest boots;
// the KELMORA_RIG_* variables say what is wired where. A pseudo-terminal cannot show any of this:
// it has no output queue, no modem lines and cannot be unplugged.
#include "GuestRig.h"
#include "PtyPair.h"
#include "ReadBytes.h"
#include "SerialFarEnd.h"

#include <ComPort.h>
#include <LinkErrorText.h>
#include <PortNames.h>
#include <SendRun.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sysexits.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct Cable {
    const char* driver;
    std::string link; // the port the link opens
    std::string far;  // the end wired to it
    bool xoffByLink;  // on USB and over the network the link holds the output on XOFF itself
    std::string tty;  // where the bytes leave: the port itself, or ser2net's device behind it
};

std::ostream& operator<<(std::ostream& out, const Cable& cable) {
    return out << cable.driver << " " << cable.link << " <-> " << cable.far;
}

Cable Uart() {
    return {"UART16550", Rig("KELMORA_RIG_UART"), Rig("KELMORA_RIG_UART_FAR"), false,
            Rig("KELMORA_RIG_UART")};
}
Cable Ftdi() {
    return {"FTDI", Rig("KELMORA_RIG_USB"), Rig("KELMORA_RIG_USB_FAR"), true,
            Rig("KELMORA_RIG_USB")};
}
Cable Acm() {
    return {"CdcAcm", Rig("KELMORA_RIG_ACM"), Rig("KELMORA_RIG_ACM_FAR"), true,
            Rig("KELMORA_RIG_ACM")};
}
// The UART on another machine: ser2net on the guest's loopback shares it (RFC 2217).
Cable Ser2net() {
    return {"Ser2net", Rig("KELMORA_RIG_REMOTE_UART"), Rig("KELMORA_RIG_UART_FAR"), true,
            Rig("KELMORA_RIG_UART")};
}
bool IsAcm(const Cable& cable) {
    return cable.link == Rig("KELMORA_RIG_ACM");
}

// Nodes that start like `node` without its number ("/dev/ttyUSB" for "/dev/ttyUSB0").
std::set<std::string> NodesLike(const std::string& node) {
    const std::string family = node.substr(0, node.find_last_not_of("0123456789") + 1);
    std::set<std::string> nodes;
    for (const auto& entry : fs::directory_iterator("/dev"))
        if (entry.path().string().starts_with(family))
            nodes.insert(entry.path().string());
    return nodes;
}

// A USB device enumerates slowly in an emulated machine under load; this is far above the
// working figure (one to two seconds), and only a broken rig waits it out.
constexpr auto kPlugBound = 30s;

bool AwaitNode(const std::string& node, bool present) {
    const auto deadline = std::chrono::steady_clock::now() + kPlugBound;
    while (fs::exists(node) != present) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Asks run-guest, outside the machine, to pull or plug a USB adapter.
void AskTheRig(const std::string& request) {
    std::cout << "kelmora-rig: " << request << '\n' << std::flush; // it acts at once
}

// Pulls the cable and returns once its node is gone. The CDC-ACM panel leaves the bus when its
// gadget disconnects.
[[nodiscard]] bool Pull(const Cable& cable) {
    if (IsAcm(cable)) {
        for (const auto& udc : fs::directory_iterator("/sys/class/udc"))
            std::ofstream(udc.path() / "soft_connect") << "disconnect\n";
    } else {
        AskTheRig("pull ftdi");
    }
    return AwaitNode(cable.link, false);
}

// Plugs the cable back and returns the node its device came back under, empty when none came.
// The gadget's "connect" does not enumerate it again on this kernel (error -71), so the panel
// comes back by loading g_serial anew; its far end must be closed by then. QEMU frees the
// adapter's chardev a little after the adapter is gone, and until then refuses to add it
// again ("in use"): the request is repeated until the adapter is there.
[[nodiscard]] std::string Plug(const Cable& cable) {
    const std::set<std::string> before = NodesLike(cable.link);
    // NOLINTNEXTLINE(cert-env33-c): busybox's module tools, on a fixed command line in the guest
    if (IsAcm(cable) && (std::system("rmmod g_serial && insmod /lib/modules/g_serial.ko") != 0 ||
                         !AwaitNode(cable.far, true)))
        return {};
    const auto deadline = std::chrono::steady_clock::now() + kPlugBound;
    auto nextRequest = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        if (!IsAcm(cable) && std::chrono::steady_clock::now() >= nextRequest) {
            AskTheRig("plug ftdi");
            nextRequest += 2s;
        }
        for (const std::string& node : NodesLike(cable.link))
            if (!before.contains(node))
                return node;
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

bool DeviceGone(std::uint32_t errorNumber) {
    return errorNumber == EIO || errorNumber == ENODEV || errorNumber == ENXIO;
}

void UnsetPortEnvironment() {
    for (int n = 1; n <= 4; ++n)
        ::unsetenv(("KELMORA_COM" + std::to_string(n)).c_str());
}

// What both drivers must do alike.
class RealSerialCable : public RigTest, public ::testing::WithParamInterface<Cable> {};

// The last speed, the one the window starts with, carries every byte value unchanged.
TEST_P(RealSerialCable, EveryOfferedSpeedReadsBackExactlyAndCarriesText) {
    PortEnvironment ports{{GetParam().link, "", "", ""}};
    CComPort port(Recorder());
    for (int speed : {2400, 9600, 14400, 19200, 38400}) {
        SerialFarEnd far(GetParam().far, static_cast<unsigned long>(speed));
        port.SetBaudRate(speed);
        const LineReadback line = ReadDeviceLine(GetParam().link);
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned long>(speed));
        EXPECT_EQ(line.inputSpeed, static_cast<unsigned long>(speed));
        EXPECT_TRUE(line.ctsFlow && line.xoffInput && line.eightBits);
        EXPECT_EQ(line.xonOutput, !GetParam().xoffByLink) << "IXON would swallow the XOFF";

        std::string text = std::to_string(speed) + " bit/s\r\n";
        if (speed == 38400)
            text += "Hallo\r\nWelt ~C\r\n" + AllByteValues();
        EXPECT_EQ(port.SendText(text), 0u);
        EXPECT_EQ(far.Read(text.size()), text) << speed << " bit/s";
        EXPECT_EQ(far.ReadAll(), "") << speed << " bit/s";
    }
    EXPECT_TRUE(reports.empty());
}

TEST_P(RealSerialCable, SlowLineTakesAWholeStringAndLeavesNothingQueued) {
    PortEnvironment ports{{GetParam().link, "", "", ""}};
    SerialFarEnd far(GetParam().far, 2400);
    CComPort port(Recorder());
    port.SetBaudRate(2400);
    std::string text;
    for (int i = 0; i < 200; ++i)
        text.push_back(static_cast<char>('A' + i % 26));

    const auto start = CComPort::Clock::now();
    EXPECT_EQ(port.SendText(text), 0u);
    const auto took = CComPort::Clock::now() - start;
    EXPECT_EQ(QueuedOutput(GetParam().link), 0) << "bytes left queued behind the operator's back";
    EXPECT_GE(took, text.size() * CComPort::kBytePause);
    EXPECT_EQ(far.Read(text.size()), text);
    EXPECT_TRUE(reports.empty());
}

TEST_P(RealSerialCable, HeldPortIsReportedBusyEvenToRoot) {
    PortEnvironment ports{{GetParam().link, "", "", ""}};
    CComPort first(Recorder());
    ASSERT_TRUE(reports.empty());
    CComPort second(Recorder());
    EXPECT_TRUE(OneReport(reports, LinkStep::Open, EBUSY));
    EXPECT_FALSE(second.IsOpen());
}

const auto kCableName = [](const auto& info) {
    return std::string(info.param.driver);
};

INSTANTIATE_TEST_SUITE_P(Drivers, RealSerialCable, ::testing::Values(Uart(), Ftdi(), Acm()),
                         kCableName);

// XOFF: the 16550's driver stops its UART, on USB the link holds the output itself (the emulated
// FTDI chip, like cdc_acm, ignores XON/XOFF and CTS), and so it does behind ser2net, whose
// device passes XON and XOFF on as data.
class RealSerialFlow : public RigTest, public ::testing::WithParamInterface<Cable> {};

TEST_P(RealSerialFlow, XoffHeldStringIsReportedOnceAndXonOrAReopenLetsOnlyTheNextThrough) {
    PortEnvironment ports{{GetParam().link, "", "", ""}};
    SerialFarEnd far(GetParam().far);
    CComPort port(Recorder());
    std::size_t handedOver = 0;
    port.SetByteHook([&](std::size_t nSent, auto) {
        handedOver = nSent;
        return true;
    });
    far.Write("\x13");
    LetTheLinkSeeIt();

    const auto start = CComPort::Clock::now();
    EXPECT_EQ(port.SendText("gehalten"), static_cast<std::uint32_t>(ETIMEDOUT));
    const auto took = CComPort::Clock::now() - start;
    EXPECT_GE(took, CComPort::kWriteBound);
    std::cout << "held string reported after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::OutputHeld);
    // A UART's driver takes the first byte into its queue; the link itself writes none.
    EXPECT_EQ(handedOver, GetParam().xoffByLink ? 0u : 1u) << "the rest of the string is dropped";
    EXPECT_EQ(QueuedOutput(GetParam().tty), 0);

    far.Write("\x11");
    LetTheLinkSeeIt();
    EXPECT_EQ(far.ReadAll(), "") << "a byte reported as failed went out after all";
    EXPECT_EQ(port.SendText("weiter\r\n"), 0u);
    EXPECT_EQ(far.Read(8), "weiter\r\n");
    EXPECT_EQ(far.ReadAll(), "");
    EXPECT_EQ(reports.size(), 1u);

    // Held again, the reopen of a speed button frees the line at once, without an XON.
    far.Write("\x13");
    LetTheLinkSeeIt();
    ASSERT_EQ(port.SendText("gehalten"), static_cast<std::uint32_t>(ETIMEDOUT));
    QuickReopen(port, 38400);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(port.SendText("wieder da"), 0u);
    EXPECT_EQ(far.Read(9), "wieder da");
    EXPECT_EQ(far.ReadAll(), "");
    EXPECT_EQ(reports.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, RealSerialFlow,
                         ::testing::Values(Uart(), Ftdi(), Acm(), Ser2net()), kCableName);

// Closing a line that XOFF holds with a byte still queued: the byte is discarded once the queue
// has stood still for the stall bound, not after the driver's closing time, and it does not
// come out after XON.
TEST_F(RigTest, ClosingAHeldUartDiscardsItsQueueOnceItStalls) {
    const std::string uart = Uart().link;
    PortEnvironment ports{{uart, "", "", ""}};
    SerialFarEnd far(Rig("KELMORA_RIG_UART_FAR"));
    auto port = std::make_unique<CComPort>(Recorder());
    port->SetByteHook([](auto, auto) { return false; }); // the first byte stays queued
    far.Write("\x13");
    LetTheLinkSeeIt();
    ASSERT_EQ(port->SendText("x"), static_cast<std::uint32_t>(ECANCELED));
    ASSERT_EQ(QueuedOutput(uart), 1);

    const auto start = CComPort::Clock::now();
    port.reset();
    const auto took = CComPort::Clock::now() - start;
    EXPECT_GE(took, CComPort::kStallBound) << "discarded before the line had stalled";
    EXPECT_LT(took, 10 * CComPort::kStallBound);
    far.Write("\x11");
    LetTheLinkSeeIt();
    EXPECT_EQ(far.ReadAll(), "");
    EXPECT_TRUE(reports.empty());
}

TEST_F(RigTest, CtsOffIsReportedOnceWithItsReasonAndNothingStaysQueued) {
    const std::string ctsLow = Rig("KELMORA_RIG_CTS_LOW");
    PortEnvironment ports{{ctsLow, "", "", ""}};
    CComPort port(Recorder());
    ASSERT_TRUE(reports.empty());

    EXPECT_EQ(port.SendText("hello\r\n"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::CtsOff);
    EXPECT_EQ(reports[0].device, ctsLow);
    EXPECT_EQ(QueuedOutput(ctsLow), 0);

    QuickReopen(port, 9600);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(port.SendText("x"), static_cast<std::uint32_t>(ETIMEDOUT));
    EXPECT_EQ(reports.size(), 2u);
}

// A USB cable pulled in the middle of a string and plugged back.
class RealSerialUnplug : public RigTest, public ::testing::WithParamInterface<Cable> {};

TEST_P(RealSerialUnplug, PulledMidSendIsReportedOnceClosedAtOnceAndBackUnderItsOldNode) {
    const Cable& cable = GetParam();
    PortEnvironment ports{{cable.link, "", "", ""}};
    CComPort port(Recorder());
    ASSERT_TRUE(port.IsOpen());
    bool pulled = false;
    std::size_t handedOver = 0;
    port.SetByteHook([&](std::size_t nSent, auto) {
        handedOver = nSent;
        if (nSent == 10)
            pulled = Pull(cable);
        return true;
    });
    const std::string text(2000, 'x');
    {
        SerialFarEnd far(cable.far); // the gadget takes data only while its end is open
        const std::uint32_t error = port.SendText(text);
        ASSERT_TRUE(pulled);
        EXPECT_TRUE(DeviceGone(error)) << error;
        ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, static_cast<int>(error)));
        EXPECT_FALSE(port.IsOpen()) << "a descriptor on the gone device keeps its node taken";
        EXPECT_LT(handedOver, text.size()) << "the rest of the string is dropped";

        EXPECT_TRUE(DeviceGone(port.SendText("zweiter")));
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_NE(DetailText(reports[1]).find("getrennt"), std::string::npos)
            << DetailText(reports[1]);
    }
    EXPECT_EQ(Plug(cable), cable.link) << "came back under another node";

    // The press the report asks for, with $KELMORA_COM1 naming the old node.
    port.SetPort("COM1:");
    ASSERT_TRUE(port.IsOpen());
    SerialFarEnd far(cable.far);
    EXPECT_EQ(port.SendText("wieder da"), 0u);
    EXPECT_EQ(far.Read(9), "wieder da");
    EXPECT_EQ(reports.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, RealSerialUnplug, ::testing::Values(Ftdi(), Acm()), kCableName);

// Without KELMORA_COMn: while COM1's adapter is out, COM1 opens nothing else (the next device
// in the list would be the CDC-ACM panel); a second adapter plugged in (ttyUSB1, which sorts
// before ttyACM0) moves no name.
TEST_F(RigTest, ANameNeverOpensAnotherDeviceAndFindsItsOwnAgain) {
    UnsetPortEnvironment();
    const Cable ftdi = Ftdi();
    const Cable acm = Acm();
    SerialFarEnd ftdiFar(ftdi.far);
    SerialFarEnd acmFar(acm.far);
    SerialFarEnd uartFar(Uart().far);
    CComPort port(Recorder());
    ASSERT_TRUE(reports.empty());
    ASSERT_EQ(port.PortNames().Resolve("COM1:").device, ftdi.link);
    ASSERT_EQ(port.PortNames().Resolve("COM2:").device, acm.link);

    ASSERT_TRUE(Pull(ftdi)); // while COM1 is open and idle
    port.CloseIfGone();
    EXPECT_FALSE(port.IsOpen()) << "the hung-up adapter is still held";
    port.SetPort("COM1:");
    ASSERT_TRUE(OneReport(reports, LinkStep::Open, ENODEV));
    EXPECT_TRUE(reports[0].deviceGone);
    EXPECT_EQ(reports[0].device, ftdi.link);
    EXPECT_NE(DetailText(reports[0]).find("getrennt"), std::string::npos) << DetailText(reports[0]);
    EXPECT_TRUE(port.PortNames().Resolve("COM1:").gone);
    EXPECT_NE(port.SendText("falsch"), 0u);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(acmFar.ReadAll(), "");
    EXPECT_EQ(uartFar.ReadAll(), "");

    ASSERT_EQ(Plug(ftdi), ftdi.link);
    port.SetPort("COM1:");
    EXPECT_EQ(port.SendText("COM1"), 0u);
    EXPECT_EQ(ftdiFar.Read(4), "COM1");

    AskTheRig("plug ftdi2");
    ASSERT_TRUE(AwaitNode("/dev/ttyUSB1", true));
    port.SetPort("COM2:");
    EXPECT_EQ(port.SendText("COM2"), 0u);
    EXPECT_EQ(acmFar.Read(4), "COM2");
    for (const char* portName : kPortNames)
        EXPECT_NE(port.PortNames().Resolve(portName).device, "/dev/ttyUSB1") << portName;
    EXPECT_EQ(reports.size(), 2u);
    AskTheRig("pull ftdi2");
    EXPECT_TRUE(AwaitNode("/dev/ttyUSB1", false));
}

TEST_F(RigTest, SendProgramOnAPulledCableNamesTheDeviceAndExits74) {
    const Cable acm = Acm();
    PortEnvironment ports{{acm.link, "", "", ""}};
    SendOptions options;
    options.items = {{false, std::string(3000, 'x')}};
    int status = -1;
    bool pulled = false;
    {
        SerialFarEnd far(acm.far);
        const CStopSignals stop;
        std::thread puller([&] {
            std::this_thread::sleep_for(300ms);
            pulled = Pull(acm);
        });
        const std::string shown = StandardErrorOf([&] { status = RunSend(options, stop); });
        puller.join();
        ASSERT_TRUE(pulled);
        EXPECT_EQ(status, EX_IOERR);
        EXPECT_NE(shown.find(acm.link), std::string::npos) << shown;
        EXPECT_NE(shown.find("getrennt"), std::string::npos) << shown;
    }
    EXPECT_EQ(Plug(acm), acm.link);
}

// Port naming on the machine's own /dev and sysfs, with no KELMORA_COMn set.
TEST_F(RigTest, PortNamesTakeUsbAdaptersFirstThenPresentUartsButNeverTheConsole) {
    UnsetPortEnvironment();
    std::vector<std::string> expected;
    std::istringstream words(Rig("KELMORA_RIG_SERIAL_DEVICES"));
    for (std::string word; words >> word;)
        expected.push_back(word);

    // What makes this machine a fair trial: the console is a UART, and empty 8250 slots
    // (type 0) sit between the present ones.
    std::ifstream console("/sys/class/tty/console/active");
    std::string active;
    console >> active;
    ASSERT_EQ(active, "ttyS0");
    int placeholders = 0;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty")) {
        std::ifstream type(entry.path() / "type");
        std::string value;
        if (entry.path().filename().string().starts_with("ttyS") && type >> value && value == "0")
            ++placeholders;
    }
    ASSERT_GT(placeholders, 0);

    std::vector<std::string> listed;
    for (const SerialDevice& device : ListSerialDevices())
        listed.push_back(device.path);
    EXPECT_EQ(listed, expected);
    ASSERT_GE(expected.size(), 4u);
    CPortNames names;
    for (std::size_t n = 0; n < kPortNames.size(); ++n)
        EXPECT_EQ(names.Resolve(kPortNames[n]).device, expected[n]) << kPortNames[n];
}

} // namespace
