// The link against real kernel drivers: a 16550 UART (8250 driver) and an FTDI USB adapter
// (ftdi_sio), each wired by a null-modem cable to a plain 16550 far end. Runs only inside the
// throw-away test machine that run-guest boots; the KELMORA_RIG_* variables say what is wired
// where. A pseudo-terminal cannot show any of this: it has no output queue and no modem lines.
#include "LineReadback.h"
#include "OpenAttempt.h"
#include "PtyPair.h"
#include "ReadBytes.h"
#include "SerialFarEnd.h"

#include <ComPort.h>
#include <PortNames.h>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string Rig(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// XON and XOFF reach the link's tty through its receive interrupt and the line discipline's
// worker; give both time to act, on a loaded machine too.
void LetTheLinkSeeIt() {
    std::this_thread::sleep_for(300ms);
}

LineReadback ReadDeviceLine(const std::string& device) {
    const UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return ReadLine(fd.get());
}

struct Cable {
    const char* driver;
    std::string link; // the port the link opens
    std::string far;  // the plain end wired to it
};

std::ostream& operator<<(std::ostream& out, const Cable& cable) {
    return out << cable.driver << " " << cable.link << " <-> " << cable.far;
}

class RigTest : public ::testing::Test, protected ReportLog {
protected:
    // Reopens at the given speed and notes how long it took (a close that waited for queued
    // bytes would take the driver's closing time, 30 s).
    void TimedReopen(CComPort& port, int speed) {
        const auto start = CComPort::Clock::now();
        port.SetBaudRate(speed);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(CComPort::Clock::now() - start);
        std::cout << "reopen at " << speed << " bit/s took " << took.count() << " ms\n";
    }
    void SetUp() override {
        if (Rig("KELMORA_RIG_UART").empty())
            GTEST_SKIP() << "runs only inside the test machine booted by tests/guest/run-guest";
    }
};

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
        EXPECT_TRUE(line.ctsFlow && line.xonOutput && line.xoffInput && line.eightBits);

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

INSTANTIATE_TEST_SUITE_P(
    Drivers, RealSerialCable,
    ::testing::Values(Cable{"16550", Rig("KELMORA_RIG_UART"), Rig("KELMORA_RIG_UART_FAR")},
                      Cable{"FTDI", Rig("KELMORA_RIG_USB"), Rig("KELMORA_RIG_USB_FAR")}),
    [](const auto& info) { return std::string(info.param.driver); });

// Flow control: the emulated FTDI chip ignores CTS and XON/XOFF, so these belong to the 16550.
class RealSerialFlow : public RigTest {
protected:
    std::string uart = Rig("KELMORA_RIG_UART");
};

TEST_F(RealSerialFlow, XoffHeldStringIsReportedOnceAndXonOrAReopenLetsOnlyTheNextThrough) {
    PortEnvironment ports{{uart, "", "", ""}};
    SerialFarEnd far(Rig("KELMORA_RIG_UART_FAR"));
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
    EXPECT_EQ(handedOver, 1u) << "the rest of the string is dropped";
    EXPECT_EQ(QueuedOutput(uart), 0);

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
    TimedReopen(port, 38400);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(port.SendText("wieder da"), 0u);
    EXPECT_EQ(far.Read(9), "wieder da");
    EXPECT_EQ(far.ReadAll(), "");
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(RealSerialFlow, CtsOffIsReportedOnceWithItsReasonAndNothingStaysQueued) {
    const std::string ctsLow = Rig("KELMORA_RIG_CTS_LOW");
    PortEnvironment ports{{ctsLow, "", "", ""}};
    CComPort port(Recorder());
    ASSERT_TRUE(reports.empty());

    EXPECT_EQ(port.SendText("hello\r\n"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::CtsOff);
    EXPECT_EQ(reports[0].device, ctsLow);
    EXPECT_EQ(QueuedOutput(ctsLow), 0);

    TimedReopen(port, 9600);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(port.SendText("x"), static_cast<std::uint32_t>(ETIMEDOUT));
    EXPECT_EQ(reports.size(), 2u);
}

// Port naming on the machine's own /dev and sysfs, with no KELMORA_COMn set.
TEST_F(RigTest, PortNamesTakeUsbAdaptersFirstThenPresentUartsButNeverTheConsole) {
    for (int n = 1; n <= 4; ++n)
        ::unsetenv(("KELMORA_COM" + std::to_string(n)).c_str());
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
