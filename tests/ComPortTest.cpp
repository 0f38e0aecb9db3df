// The link against a pseudo-terminal: bytes exactly as given, the line's settings, the lower
// bounds of its pacing, and how each failing step is reported and what it leaves behind.
#include "LineReadback.h"
#include "OpenAttempt.h"
#include "PtyPair.h"
#include "ReadBytes.h"

#include <ComPort.h>
#include <PortNames.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using Clock = CComPort::Clock;

// A panel on COM1, nothing behind COM2..COM4; every report is kept.
class ComPortTest : public ::testing::Test, protected ReportLog {
protected:
    PtyPair panel;
    PortEnvironment ports{{panel.Path(), "", "", ""}};
};

TEST_F(ComPortTest, BytesArriveUnchangedAndInOrder) {
    CComPort port(Recorder());
    const std::string text = "Hallo\r\nWelt ~C " + AllByteValues();

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

// A pseudo-terminal's queue never stalls, so closing discards nothing: a far end that reads only
// afterwards still gets every byte. The backlog fills the far end's line buffer (4 KB), so that
// the link's last bytes wait in the tty's buffers, which a flush would empty.
TEST_F(ComPortTest, ClosingReleasesTheLockAndKeepsWhatTheFarEndHasNotRead) {
    const std::string backlog(8192, 'b');
    ASSERT_EQ(::write(panel.Slave(), backlog.data(), backlog.size()),
              static_cast<ssize_t>(backlog.size()));
    {
        CComPort port(Recorder());
        EXPECT_FALSE(LockFree(panel.Path()));
        EXPECT_FALSE(panel.MarkedExclusive()) << "the lock alone guards a pseudo-terminal";
        EXPECT_EQ(port.SendText("Ende"), 0u);
    }
    EXPECT_TRUE(LockFree(panel.Path()));
    EXPECT_EQ(panel.Read(backlog.size() + 4), backlog + "Ende");

    CComPort again(Recorder());
    EXPECT_TRUE(again.IsOpen());
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, MissingDeviceIsReportedWithItsPath) {
    CComPort port(Recorder());
    EXPECT_EQ(port.SetPort(kPortNames[1]), 0u) << "reopening always returns 0";
    ASSERT_TRUE(OneReport(reports, LinkStep::Open, ENOENT));
    EXPECT_EQ(reports[0].portName, "COM2:");
    EXPECT_EQ(reports[0].device, PortEnvironment::Missing(2));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortTest, SendAfterFailedOpenFailsAtFirstByteAndReportsOnce) {
    CComPort port(Recorder());
    port.SetPort(kPortNames[3]);
    reports.clear();

    EXPECT_EQ(port.SendText("abc"), static_cast<std::uint32_t>(EBADF));
    EXPECT_TRUE(OneReport(reports, LinkStep::Transmit, EBADF));
}

TEST_F(ComPortTest, NonTerminalIsReportedAndKeepsItsHandleUntilReopened) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("kelmora-not-a-tty-" + std::to_string(::getpid()));
    std::ofstream(file) << "";
    PortEnvironment notATty{{file.string(), "", "", ""}};

    CComPort port(Recorder());
    EXPECT_TRUE(OneReport(reports, LinkStep::ReadSettings, ENOTTY));
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
    EXPECT_TRUE(OneReport(reports, LinkStep::Transmit, EIO));
    EXPECT_FALSE(port.IsOpen()) << "a gone device is let go at once";
    EXPECT_EQ(port.SendText("x"), static_cast<std::uint32_t>(ENODEV));
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(ComPortTest, FarEndVanishingWhileIdleIsLetGoAndTheNextSendSaysSo) {
    CComPort port(Recorder());
    port.CloseIfGone();
    EXPECT_TRUE(port.IsOpen());
    panel.CloseFarEnd();
    port.CloseIfGone();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.SendText("x"), static_cast<std::uint32_t>(ENODEV));
    EXPECT_TRUE(OneReport(reports, LinkStep::Transmit, ENODEV));
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
    ASSERT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_EQ(reports[0].hold, LinkHold::OutputHeld) << "a pseudo-terminal has no CTS to blame";

    panel.WriteToLink("\x11");
    ASSERT_TRUE(panel.WaitOutputHeld(false));
    EXPECT_EQ(port.SendText("B"), 0u);
    EXPECT_EQ(panel.Read(1), "B");
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(ComPortTest, EveryByteLeavesAtLeastThreeMillisecondsAfterThePreviousOne) {
    CComPort port(Recorder());
    std::vector<Clock::time_point> writes;
    std::vector<std::size_t> counts;
    port.SetByteHook([&](std::size_t nSent, Clock::time_point written) {
        counts.push_back(nSent);
        writes.push_back(written);
        return true;
    });
    const std::string text(40, 'x');

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(port.SendText(text), 0u);
    const Clock::duration took = Clock::now() - start;

    EXPECT_EQ(panel.Read(text.size()), text);
    ASSERT_EQ(writes.size(), text.size());
    for (std::size_t i = 0; i < counts.size(); ++i)
        EXPECT_EQ(counts[i], i + 1);
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_GE(writes[i] - writes[i - 1], CComPort::kBytePause) << "byte " << i;
    // The pause after the last byte counts too.
    EXPECT_GE(took, CComPort::kBytePause * static_cast<int>(text.size()));
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, AnEmptyStringNeitherWritesNorPauses) {
    CComPort port(Recorder());
    int calls = 0;
    port.SetByteHook([&](std::size_t, Clock::time_point) { return ++calls, true; });

    EXPECT_EQ(port.SendText(""), 0u);
    EXPECT_EQ(calls, 0) << "the hook runs after every write, inside its pause";
    EXPECT_EQ(panel.ReadAll(), "");
    EXPECT_TRUE(reports.empty());
}

TEST_F(ComPortTest, RefusedSettingsKeepTheHandleAndTheNextReopenClosesItFirst) {
    CComPort port(Recorder());
    ASSERT_TRUE(port.IsOpen());
    port.SetBaudRate(0);
    EXPECT_TRUE(OneReport(reports, LinkStep::WriteSettings, EINVAL));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(LockFree(panel.Path())) << "the open handle still holds the port";

    // Opening again while the old handle held its lock would fail as busy.
    port.SetBaudRate(38400);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 38400u);
    EXPECT_EQ(port.SendText("ok"), 0u);
    EXPECT_EQ(panel.Read(2), "ok");
}

} // namespace
