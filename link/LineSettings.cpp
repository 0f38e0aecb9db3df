// The classic termios interface knows only the fixed Bxxx speeds (14400 is not among them),
// so the line is set through termios2 with BOTHER, which takes any rate. <asm/termbits.h>
// clashes with <termios.h>, so this file must not include the latter.
#include "LineSettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace {

void SetPanelLine(termios2& tio, int nBaudRate, OutputFlow flow) {
    // Bytes must reach the panel exactly as the transcript holds them.
    tio.c_iflag &= ~(INLCR | IGNCR | ICRNL | IUCLC | ISTRIP | IXANY);
    tio.c_oflag &= ~OPOST; // otherwise LF would leave as CR LF
    tio.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    // Flow control is only ever switched on: both kinds stay active whatever the port held.
    // Where the link stops the output itself, IXON would swallow the XOFF it watches for.
    tio.c_iflag |= IXOFF;
    if (flow == OutputFlow::ByDriver)
        tio.c_iflag |= IXON;
    else
        tio.c_iflag &= ~IXON;
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CBAUD | CIBAUD);
    // CLOCAL: a panel without carrier detect must neither block the open nor hang the line up.
    tio.c_cflag |= CS8 | CRTSCTS | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(nBaudRate);
}

// A UART divides its clock, so the rate it reports may differ slightly from the request;
// 2% is well inside what an asynchronous receiver tolerates.
bool SpeedClose(speed_t actual, int requested) {
    return std::abs(static_cast<long>(actual) - requested) * 50 <= requested;
}

bool Sticks(const termios2& wanted, const termios2& actual, int nBaudRate) {
    constexpr tcflag_t kIflags = IXON | IXOFF | INLCR | IGNCR | ICRNL | ISTRIP;
    constexpr tcflag_t kCflags = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL;
    constexpr tcflag_t kLflags = ICANON | ECHO | ISIG;
    return (actual.c_iflag & kIflags) == (wanted.c_iflag & kIflags) &&
           (actual.c_cflag & kCflags) == (wanted.c_cflag & kCflags) &&
           (actual.c_lflag & kLflags) == (wanted.c_lflag & kLflags) &&
           (actual.c_oflag & OPOST) == 0 && SpeedClose(actual.c_ospeed, nBaudRate) &&
           SpeedClose(actual.c_ispeed, nBaudRate);
}

} // namespace

std::optional<LineFailure> ApplyLineSettings(int fd, int nBaudRate, OutputFlow flow) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return LineFailure{LinkStep::ReadSettings, errno};

    if (nBaudRate <= 0)
        return LineFailure{LinkStep::WriteSettings, EINVAL};
    SetPanelLine(tio, nBaudRate, flow);
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return LineFailure{LinkStep::WriteSettings, errno};

    termios2 applied{};
    if (::ioctl(fd, TCGETS2, &applied) != 0)
        return LineFailure{LinkStep::WriteSettings, errno};
    if (!Sticks(tio, applied, nBaudRate))
        return LineFailure{LinkStep::WriteSettings, EINVAL};
    return std::nullopt;
}
