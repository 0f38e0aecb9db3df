#include "LineReadback.h"
#include "PtyPair.h"

#include <ComPort.h>
#include <PortNames.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// A panel on COM1, nothing behind COM2..COM4; every report is kept.
class ComPortTest : public ::testing::Test {
protected:
    PtyPair panel;
    PortEnvironment ports{{panel.Path(), "", "", ""}};
    std::vector<LinkError> reports;
    ErrorReporter Recorder() {
        return [this](const LinkError& e) {
            reports.push_back(e);
        };
    }
};

TEST_F(ComPortTest, BytesArriveUnchangedAndInOrder) {
    CComPort port(Recorder());
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string text = "Hallo\r\nWelt ~C " + all;

    EXPECT_EQ(port.SendText(text), 0u);
    EXPECT_EQ(panel.Read(text.size()), text);
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, LineIsRawEightNoneOneWithBothFlowControlsAtExactlyTheChosenSpeed) {
    CComPort port(Recorder());
    for (int speed : {2400, 9600, 14400, 19200, 38400}) {
        port.SetBaudRate(speed);
        const LineReadback line = ReadLine(panel.Slave());
        EXPECT_EQ(line.outputSpeed, static_cast<unsigned long>(speed));
        EXPECT_EQ(line.inputSpeed, static_cast<unsigned long>(speed));
    }
    const LineReadback line = ReadLine(panel.Slave());
    EXPECT_TRUE(line.eightBits && line.ctsFlow && line.xonOutput && line.xoffInput &&
                line.ignoreCarrier);
    EXPECT_FALSE(line.parity || line.twoStopBits);
    EXPECT_FALSE(line.outputProcessing || line.canonical || line.echo || line.signals ||
                 line.crToNl);
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, HeldPortIsReportedBusy) {
    CComPort first(Recorder());
    ASSERT_TRUE(reports.empty());
    CComPort second(Recorder());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::Open);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EBUSY));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastError(), static_cast<std::uint32_t>(EBUSY));
}

TEST_F(ComPortTest, ClosingReleasesLockAndExclusivity) {
    {
        CComPort port(Recorder());
        int exclusive = 0;
        ASSERT_EQ(::ioctl(panel.Slave(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    int exclusive = 1;
    ASSERT_EQ(::ioctl(panel.Slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);

    CComPort again(Recorder());
    EXPECT_TRUE(again.IsOpen());
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, MissingDeviceIsReportedWithItsPath) {
    CComPort port(Recorder());
    EXPECT_EQ(port.SetPort(kPortNames[1]), 0u) << "reopening always returns 0";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(reports[0].portName, "COM2:");
    EXPECT_EQ(reports[0].device, PortEnvironment::Missing(2));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortTest, SendAfterFailedOpenFailsAtFirstByteAndReportsOnce) {
    CComPort port(Recorder());
    port.SetPort(kPortNames[3]);
    reports.clear();

    EXPECT_EQ(port.SendText("abc"), static_cast<std::uint32_t>(EBADF));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::Transmit);
}

TEST_F(ComPortTest, NonTerminalIsReportedAndKeepsItsHandleUntilReopened) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("kelmora-not-a-tty-" + std::to_string(::getpid()));
    std::ofstream(file) << "";
    PortEnvironment notATty{{file.string(), "", "", ""}};

    CComPort port(Recorder());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::ReadSettings);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(ENOTTY));
    EXPECT_TRUE(port.IsOpen());

    // The handle still holds its lock; reopening must close it first or it would lock itself out.
    port.Reopen();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].errorNumber, static_cast<std::uint32_t>(ENOTTY));
    std::filesystem::remove(file);
}

TEST_F(ComPortTest, FarEndVanishingMidStringReportsOnceAndDropsTheRest) {
    CComPort port(Recorder());
    int written = 0;
    port.SetByteHook([&](std::size_t, auto) {
        if (++written == 3)
            panel.CloseFarEnd();
        return true;
    });

    EXPECT_NE(port.SendText("0123456789"), 0u);
    EXPECT_EQ(written, 3);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::Transmit);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EIO));
}

TEST_F(ComPortTest, AHookThatSaysStopEndsTheStringWithoutAReport) {
    CComPort port(Recorder());
    port.SetByteHook([](std::size_t nSent, auto) { return nSent < 4; });

    EXPECT_EQ(port.SendText("0123456789"), static_cast<std::uint32_t>(ECANCELED));
    EXPECT_EQ(panel.ReadAll(), "0123");
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, XoffMakesASendFailInsteadOfHangingAndXonLetsTheNextThrough) {
    CComPort port(Recorder());
    panel.WriteToLink("\x13");
    ASSERT_TRUE(panel.WaitOutputHeld(true));

    EXPECT_EQ(port.SendText("A"), static_cast<std::uint32_t>(ETIMEDOUT));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::Transmit);
    EXPECT_EQ(reports[0].hold, LinkHold::OutputHeld) << "a pseudo-terminal has no CTS to blame";

    panel.WriteToLink("\x11");
    ASSERT_TRUE(panel.WaitOutputHeld(false));
    EXPECT_EQ(port.SendText("B"), 0u);
    EXPECT_EQ(panel.Read(1), "B");
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
