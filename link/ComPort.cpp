#include "ComPort.h"

#include "PortHolder.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>

using namespace std::chrono_literals;

namespace {

timespec ToTimespec(CComPort::Clock::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch());
    return {static_cast<time_t>(ns.count() / 1'000'000'000),
            static_cast<long>(ns.count() % 1'000'000'000)};
}

// steady_clock is CLOCK_MONOTONIC; an absolute deadline keeps the cost of the write
// itself from adding up over a long string.
void SleepUntil(CComPort::Clock::time_point deadline) {
    const timespec ts = ToTimespec(deadline);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Waking from a sleep takes the kernel tens of microseconds (more in a virtual machine), and
// each pause counts from the previous byte's write, so that lateness would add up over a long
// string. The sleep ends this much early and the rest of the pause is waited out awake.
constexpr auto kWakeLead = 100us;

void PauseUntil(CComPort::Clock::time_point deadline) {
    SleepUntil(deadline - kWakeLead);
    while (CComPort::Clock::now() < deadline) {
    }
}

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

// The device behind the descriptor is gone (a USB cable pulled): the tty was hung up.
bool DeviceGone(int errorNumber) {
    return errorNumber == EIO || errorNumber == ENODEV || errorNumber == ENXIO;
}

// How long a wait for the line lasts before the wait hook runs again.
constexpr int kWaitSliceMs = 10;

int MillisecondsLeft(CComPort::Clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - CComPort::Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

} // namespace

CComPort::CComPort(ErrorReporter reporter)
    : CComPort(std::move(reporter), "COM1:", 38400) {}

CComPort::CComPort(ErrorReporter reporter, const char* pszPortName, std::int32_t nBaudRate,
                   std::string strDevicePath)
    : m_pszPortName(pszPortName)
    , m_nBaudRate(nBaudRate)
    , m_strDevicePath(std::move(strDevicePath))
    , m_report(std::move(reporter)) {
    // Linux lets a sleep overrun by the thread's timer slack (50 µs by default); the pause
    // after every byte should end on time. The link runs on the thread that made it.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Open();
}

CComPort::~CComPort() {
    Close();
}

std::uint32_t CComPort::Open() {
    PortBinding binding;
    if (!m_strDevicePath.empty())
        binding.device = m_strDevicePath;
    else if (m_pszPortName)
        binding = m_names.Resolve(m_pszPortName);
    m_strDevice = binding.device;
    m_bDeviceGone = binding.gone;
    m_bXoffHeld = false;
    if (m_strDevice.empty())
        return ReportError(LinkStep::Open, ENOENT);
    // Never another device in its place: the name waits for its own to come back.
    if (binding.gone)
        return ReportError(LinkStep::Open, ENODEV);

    // Non-blocking so that neither a missing carrier nor a stalled line can freeze the window;
    // no O_CREAT, so a missing device fails instead of becoming a file.
    m_hComm.reset(::open(m_strDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!m_hComm.valid())
        return ReportError(LinkStep::Open, errno);

    // Exclusive use: flock() holds against any other copy of this program and well-behaved
    // terminal programs, TIOCEXCL refuses any further open of the tty but a privileged one.
    if (::flock(m_hComm.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        m_hComm.reset();
        return ReportError(LinkStep::Open, error);
    }
    // A device that is no tty refuses this too; reading its settings below reports it.
    if (!IsPseudoTerminal(m_hComm.get()))
        ::ioctl(m_hComm.get(), TIOCEXCL);

    // With IXON the tty layer takes XOFF out of the input and marks itself stopped; a UART's
    // driver then stops sending, but neither cdc_acm nor the USB serial core looks at the mark,
    // and an FTDI chip does XON/XOFF itself only with CTS flow control off. So on USB the link
    // does it; where a chip does it after all, it keeps the XOFF and holds the line itself.
    m_outputFlow = m_names.OnUsb(m_strDevice) ? OutputFlow::ByLink : OutputFlow::ByDriver;
    if (const auto failure = ApplyLineSettings(m_hComm.get(), m_nBaudRate, m_outputFlow)) {
        // A device unplugged meanwhile must not keep its node taken (see TransmitFailed).
        if (DeviceGone(failure->errorNumber))
            Close();
        return ReportError(failure->step, failure->errorNumber);
    }

    // The panel's driver queues would be 8 bytes each way; Linux offers no request for queue
    // sizes, the tty layer keeps its own.
    return 0;
}

std::uint32_t CComPort::Reopen() {
    Close();
    Open();
    return 0;
}

std::uint32_t CComPort::SetPort(const char* pszPortName) {
    m_pszPortName = pszPortName;
    m_strDevicePath.clear();
    return Reopen();
}

std::uint32_t CComPort::SetBaudRate(std::int32_t nBaudRate) {
    m_nBaudRate = nBaudRate;
    return Reopen();
}

// A byte counts as sent once it has left the driver's output queue, not when write() took it:
// a UART driver accepts up to 4 KB while CTS is low or XOFF holds the line, and would send it
// later or lose it at the next reopen without anyone knowing. Waiting for the queue to empty
// overlaps the pause, so pacing is unchanged wherever a byte takes less than the pause on the
// wire; on a slower line the next byte follows as soon as the previous one has left.
std::uint32_t CComPort::SendText(std::string str) {
    for (std::size_t i = 0; i < str.size(); ++i) {
        if (const int error = TransmitByte(str[i]))
            return TransmitFailed(error);
        const Clock::time_point written = Clock::now();
        if (m_onByte && !m_onByte(i + 1, written))
            return ECANCELED;
        PauseUntil(written + kBytePause);
        if (!AwaitQueueEmpty(written + kWriteBound)) {
            const LinkHold hold = LineHold();
            // Nothing must leave later behind the operator's back, nor hold up the close.
            ::tcflush(m_hComm.get(), TCOFLUSH);
            return ReportError(LinkStep::Transmit, ETIMEDOUT, hold);
        }
    }
    return 0;
}

std::uint32_t CComPort::TransmitFailed(int errorNumber) {
    const LinkHold hold = errorNumber == ETIMEDOUT ? LineHold() : LinkHold::None;
    // Closed at once, before the report waits for the operator: as long as a descriptor holds a
    // pulled USB adapter's tty, the kernel gives the adapter a new node when it comes back.
    if (DeviceGone(errorNumber)) {
        Close();
        m_bDeviceGone = true;
    }
    return ReportError(LinkStep::Transmit, errorNumber, hold);
}

// Waits for room on the line, within kWriteBound. A pseudo-terminal held by XOFF refuses the
// write itself; a UART driver takes it and holds it in its queue (see AwaitQueueEmpty); where
// the link stops the output itself, the byte waits for XON before it is written.
int CComPort::TransmitByte(char c) {
    // Closed when its device went: later sends say so again, until a press reopens.
    if (!m_hComm.valid() && m_bDeviceGone)
        return ENODEV;
    const Clock::time_point deadline = Clock::now() + kWriteBound;
    if (m_outputFlow == OutputFlow::ByLink)
        if (const int error = AwaitXon(deadline))
            return error;
    for (;;) {
        const ssize_t n = ::write(m_hComm.get(), &c, 1);
        if (n == 1)
            return 0;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return errno;
        pollfd pfd{m_hComm.get(), POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, std::min(MillisecondsLeft(deadline), kWaitSliceMs));
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready == 0 && Clock::now() >= deadline)
            return ETIMEDOUT;
        if (ready == 0 && m_onWait)
            m_onWait();
    }
}

// Software flow control done by the link (OutputFlow::ByLink): takes the far end's XON and
// XOFF out of what it has sent since, in order, and discards the rest, since the panel has
// nothing else to say. Returns 0 once XON is in force, ETIMEDOUT when XOFF still holds at the
// deadline.
int CComPort::AwaitXon(Clock::time_point deadline) {
    constexpr char kXon = '\x11';
    constexpr char kXoff = '\x13';
    for (;;) {
        char input[256];
        const ssize_t n = ::read(m_hComm.get(), input, sizeof input);
        if (n > 0) {
            for (const char c : std::string_view(input, static_cast<std::size_t>(n)))
                if (c == kXon || c == kXoff)
                    m_bXoffHeld = c == kXoff;
            continue;
        }
        if (n == 0) // a raw tty that has data to wait for reads 0 only once it was hung up
            return EIO;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return errno;
        if (!m_bXoffHeld)
            return 0;
        pollfd pfd{m_hComm.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, std::min(MillisecondsLeft(deadline), kWaitSliceMs));
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready == 0 && Clock::now() >= deadline)
            return ETIMEDOUT;
        if (ready == 0 && m_onWait)
            m_onWait();
    }
}

// True once the driver's output queue is empty, false when the deadline passes first. Asked
// only after the pause, so at the usual speeds the byte is long gone and nothing is polled;
// a pseudo-terminal always reports an empty queue, and a device without one (TIOCOUTQ
// refused) has nothing to wait for.
bool CComPort::AwaitQueueEmpty(Clock::time_point deadline) const {
    constexpr auto kPollInterval = 250us;
    for (;;) {
        int queued = 0;
        if (::ioctl(m_hComm.get(), TIOCOUTQ, &queued) != 0 || queued == 0)
            return true;
        if (Clock::now() >= deadline)
            return false;
        SleepUntil(std::min(Clock::now() + kPollInterval, deadline));
        if (m_onWait)
            m_onWait();
    }
}

// Why the line does not take bytes: CTS off matters only while CTS flow control is on; anything
// else that stops the output of a tty is the far end's XOFF. A pseudo-terminal has no modem
// lines, and cdc_acm reports CTS as always on, so there it is always XOFF.
LinkHold CComPort::LineHold() const {
    termios tio{};
    int lines = 0;
    if (::tcgetattr(m_hComm.get(), &tio) == 0 && (tio.c_cflag & CRTSCTS) &&
        ::ioctl(m_hComm.get(), TIOCMGET, &lines) == 0 && !(lines & TIOCM_CTS))
        return LinkHold::CtsOff;
    return LinkHold::OutputHeld;
}

void CComPort::CloseIfGone() {
    pollfd pfd{m_hComm.get(), 0, 0};
    if (m_hComm.valid() && ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLHUP)) {
        Close();
        m_bDeviceGone = true;
    }
}

std::uint32_t CComPort::ReportError(LinkStep step, int errorNumber, LinkHold hold) {
    m_dwLastError = static_cast<std::uint32_t>(errorNumber);
    if (!m_report)
        return m_dwLastError;
    LinkError error{step,        m_dwLastError, m_pszPortName ? m_pszPortName : "",
                    m_strDevice, hold,          step == LinkStep::Open && m_bDeviceGone};
    if (step == LinkStep::Open)
        AddOpenFailureFacts(error); // at once, while a holder still holds the device
    m_report(error);
    return m_dwLastError;
}

// Never hangs. SendText leaves nothing queued, except the last byte of a string its hook
// stopped: that one may still drain while it keeps moving; once nothing has left for
// kStallBound (CTS low, XOFF) the rest is discarded, or close() would wait for the driver's
// closing time (30 s on a UART).
void CComPort::Close() {
    if (!m_hComm.valid())
        return;
    const int fd = m_hComm.get();
    int queued = 0;
    int lastQueued = INT_MAX;
    Clock::time_point lastProgress = Clock::now();
    bool stalled = false;
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (queued < lastQueued) {
            lastQueued = queued;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress > kStallBound) {
            stalled = true;
            break;
        }
        SleepUntil(Clock::now() + 1ms);
    }
    // Only what can no longer leave: a pseudo-terminal reports no queue, and a flush there would
    // drop the last bytes its far end has not read yet.
    if (stalled)
        ::tcflush(fd, TCOFLUSH);
    // Exclusivity belongs to the tty, not to this descriptor: clear it, or the next open
    // fails while anyone else still holds the tty.
    ::ioctl(fd, TIOCNXCL);
    m_hComm.reset();
}
