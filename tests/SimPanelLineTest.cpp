#include "LineSettings.h"
#include "PanelLine.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

// Everything the panel can read within `waitMs`; an empty result means nothing came.
std::string ReadAvailable(const PanelLine& line, int waitMs) {
    std::string got;
    pollfd pfd{line.Fd(), POLLIN, 0};
    while (::poll(&pfd, 1, waitMs) == 1) {
        std::uint8_t buffer[64];
        const ReadResult r = line.Read(buffer);
        EXPECT_FALSE(r.error) << r.error.message();
        if (r.error || r.count == 0) {
            break;
        }
        got.append(reinterpret_cast<const char*>(buffer), r.count);
        waitMs = 50; // the rest of a write follows at once
    }
    return got;
}

// The tool's side, opened by path as the tool opens it.
UniqueFd OpenAsTool(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
}

// The line discipline takes XON and XOFF in the background; this waits until the tool's side
// has (or has not) room to write, giving up after five seconds.
bool WaitUntilWritable(const UniqueFd& fd, bool writable) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        pollfd pfd{fd.get(), POLLOUT, 0};
        const bool now = ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLOUT) != 0;
        if (now == writable) {
            return true;
        }
        ::usleep(10'000);
    }
    return false;
}

void WriteAll(const UniqueFd& fd, std::string_view text) {
    ASSERT_EQ(::write(fd.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

TEST(SimPanelLine, PseudoTerminalCarriesRawBytesAndOutlivesTheToolClosingIt) {
    const PanelLine line = PanelLine::OpenPseudoTerminal(38400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    EXPECT_EQ(line.Path().rfind("/dev/pts/", 0), 0u) << line.Path();

    for (int session = 0; session < 3; ++session) {
        const UniqueFd tool = OpenAsTool(line.Path());
        ASSERT_TRUE(tool.valid());
        WriteAll(tool, "Hallo~L12\n\xE4"); // no line-ending translation on the way
        EXPECT_EQ(ReadAvailable(line, 5000), "Hallo~L12\n\xE4") << session;
    }
    // The tool has closed its side: the panel sees no data and no hangup.
    std::uint8_t buffer[8];
    const ReadResult idle = line.Read(buffer);
    EXPECT_FALSE(idle.error) << idle.error.message();
    EXPECT_EQ(idle.count, 0u);
}

TEST(SimPanelLine, XoffFromThePanelStopsTheToolUntilXon) {
    const PanelLine line = PanelLine::OpenPseudoTerminal(38400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    // Non-blocking, so that a halted line shows as a refused write instead of a hang.
    const UniqueFd tool(::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(tool.valid());

    ASSERT_FALSE(line.Send(0x13));
    ASSERT_TRUE(WaitUntilWritable(tool, false));
    EXPECT_EQ(::write(tool.get(), "a", 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(ReadAvailable(line, 0), "");

    ASSERT_FALSE(line.Send(0x11));
    ASSERT_TRUE(WaitUntilWritable(tool, true));
    WriteAll(tool, "b");
    EXPECT_EQ(ReadAvailable(line, 5000), "b");
}

TEST(SimPanelLine, DeviceGetsThePanelFramingAtAnySpeed) {
    // The far side of a second pseudo-terminal pair stands in for a serial device.
    int master = -1;
    int slave = -1;
    char name[128];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const UniqueFd masterFd(master);
    const UniqueFd slaveFd(slave);

    const PanelLine line = PanelLine::OpenDevice(name, 14400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    EXPECT_EQ(line.Path(), name);
    EXPECT_FALSE(line.IsPseudoTerminal());
    EXPECT_EQ(LineSpeed(line.Fd()), 14400u);

    termios tio{};
    ASSERT_EQ(::tcgetattr(line.Fd(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    ASSERT_FALSE(ApplyLineSettings(line.Fd(), 2400));
    EXPECT_EQ(LineSpeed(line.Fd()), 2400u);
}

TEST(SimPanelLine, MissingDeviceIsAnErrorValue) {
    const PanelLine line = PanelLine::OpenDevice("/nonexistent/ttyKELMORA", 38400);
    EXPECT_FALSE(line.IsOpen());
    EXPECT_NE(line.Error().find("/nonexistent/ttyKELMORA"), std::string::npos) << line.Error();
}

} // namespace
} // namespace sim
