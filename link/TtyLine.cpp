#include "TtyLine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cerrno>
#include <climits>

using namespace std::chrono_literals;

namespace {

// The kernel clears TIOCEXCL at a serial device's last close, but keeps it on a pseudo-terminal
// for as long as its far end holds the master open, also after a holder was killed: nothing but
// that far end could clear it, and every later open by an ordinary user would fail with EBUSY.
// There flock() alone guards the line; it ends with its holder. Unix98 pty slaves have majors
// 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

} // namespace

std::unique_ptr<CTtyLine> CTtyLine::Open(const std::string& device, bool onUsb, int& errorNumber) {
    // Non-blocking so that neither a missing carrier nor a stalled line can freeze the window;
    // no O_CREAT, so a missing device fails instead of becoming a file.
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        errorNumber = errno;
        return nullptr;
    }
    // Exclusive use: flock() holds against any other copy of this program and well-behaved
    // terminal programs, TIOCEXCL refuses any further open of the tty but a privileged one.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        errorNumber = errno == EWOULDBLOCK ? EBUSY : errno;
        return nullptr;
    }
    // A device that is no tty refuses this too; reading its settings reports it.
    if (!IsPseudoTerminal(fd.get()))
        ::ioctl(fd.get(), TIOCEXCL);

    // With IXON the tty layer takes XOFF out of the input and marks itself stopped; a UART's
    // driver then stops sending, but neither cdc_acm nor the USB serial core looks at the mark,
    // and an FTDI chip does XON/XOFF itself only with CTS flow control off. So on USB the link
    // does it; where a chip does it after all, it keeps the XOFF and holds the line itself.
    return std::unique_ptr<CTtyLine>(
        new CTtyLine(std::move(fd), onUsb ? OutputFlow::ByLink : OutputFlow::ByDriver));
}

// Never hangs. The link leaves nothing queued, except the last byte of a string its hook
// stopped: that one may still drain while it keeps moving; once nothing has left for
// kStallBound (CTS low, XOFF) the rest is discarded, or close() would wait for the driver's
// closing time (30 s on a UART).
CTtyLine::~CTtyLine() {
    const int fd = m_fd.get();
    int lastQueued = INT_MAX;
    auto lastProgress = WaitClock::now();
    bool stalled = false;
    for (int queued = Queued(); queued > 0; queued = Queued()) {
        if (queued < lastQueued) {
            lastQueued = queued;
            lastProgress = WaitClock::now();
        } else if (WaitClock::now() - lastProgress > kStallBound) {
            stalled = true;
            break;
        }
        (void)WaitReady(-1, 0, WaitClock::now() + 1ms, nullptr);
    }
    // Only what can no longer leave: a pseudo-terminal reports no queue, and a flush there would
    // drop the last bytes its far end has not read yet.
    if (stalled)
        ::tcflush(fd, TCOFLUSH);
    // Exclusivity belongs to the tty, not to this descriptor: clear it, or the next open
    // fails while anyone else still holds the tty.
    ::ioctl(fd, TIOCNXCL);
}

std::optional<LineFailure> CTtyLine::Configure(int nBaudRate, const WaitHook& /*onWait*/) {
    // The panel's driver queues would be 8 bytes each way; Linux offers no request for queue
    // sizes, the tty layer keeps its own.
    return ApplyLineSettings(m_fd.get(), nBaudRate, m_flow);
}

// A pseudo-terminal held by XOFF refuses the write itself; a UART driver takes it and holds it
// in its queue.
int CTtyLine::Write(char c) {
    const ssize_t n = ::write(m_fd.get(), &c, 1);
    if (n == 1)
        return 0;
    return n < 0 && errno != EAGAIN && errno != EINTR ? errno : EAGAIN;
}

int CTtyLine::Read(std::string& data) {
    for (;;) {
        char input[256];
        const ssize_t n = ::read(m_fd.get(), input, sizeof input);
        if (n > 0)
            data.append(input, static_cast<std::size_t>(n));
        else if (n == 0) // a raw tty that has data to wait for reads 0 only once it was hung up
            return EIO;
        else if (errno == EAGAIN)
            return 0;
        else if (errno != EINTR)
            return errno;
    }
}

// A pseudo-terminal always reports an empty queue; a device without one (TIOCOUTQ refused) has
// nothing to wait for.
int CTtyLine::Queued() const {
    int queued = 0;
    return ::ioctl(m_fd.get(), TIOCOUTQ, &queued) == 0 ? queued : 0;
}

// CTS off matters only while CTS flow control is on; anything else that stops the output of a
// tty is the far end's XOFF. A pseudo-terminal has no modem lines, and cdc_acm reports CTS as
// always on, so there it is always XOFF.
LinkHold CTtyLine::Hold() const {
    termios tio{};
    int lines = 0;
    if (::tcgetattr(m_fd.get(), &tio) == 0 && (tio.c_cflag & CRTSCTS) &&
        ::ioctl(m_fd.get(), TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS))
        return LinkHold::CtsOff;
    return LinkHold::OutputHeld;
}

// Only a queue that holds something: a pseudo-terminal has none, and a flush there would drop
// what its far end has not read yet.
void CTtyLine::DropHeldOutput() {
    if (Queued() > 0)
        ::tcflush(m_fd.get(), TCOFLUSH);
}

// The device behind the descriptor is gone (a USB cable pulled): the tty was hung up.
bool CTtyLine::Gone(int errorNumber) const {
    return errorNumber == EIO || errorNumber == ENODEV || errorNumber == ENXIO;
}

bool CTtyLine::HungUp() const {
    pollfd pfd{m_fd.get(), 0, 0};
    return ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLHUP);
}
