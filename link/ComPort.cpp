#include "ComPort.h"

#include "PortHolder.h"
#include "PortName.h"
#include "RemoteLine.h"
#include "ServerQuirks.h"
#include "TtyLine.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

using namespace std::chrono_literals;

namespace {

// steady_clock is CLOCK_MONOTONIC; an absolute deadline keeps the cost of the write
// itself from adding up over a long string.
void SleepUntil(CComPort::Clock::time_point deadline) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
    const timespec ts{static_cast<time_t>(ns.count() / 1'000'000'000),
                      static_cast<long>(ns.count() % 1'000'000'000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Waking from a sleep takes the kernel tens of microseconds, on an idle machine or in a virtual
// machine often over a hundred, and each pause counts from the previous byte's write, so that
// lateness would add up over a long string. The sleep ends early by at least kMinWakeLead and
// the rest of the pause is waited out awake.
constexpr auto kMinWakeLead = 100us;
// The lead follows the wake-ups seen, up to this; a sleep that ends later than this was held up
// by other work on the machine, which waiting awake could not have prevented either.
constexpr auto kMaxWakeLead = 500us;
// Room left above the latest wake-up, which varies from one sleep to the next.
constexpr auto kWakeMargin = 20us;

} // namespace

// The pause after a byte, and its way out of the line's queue (see SendText): false when it has
// not left within kWriteBound. The pause is slept until shortly before its end; the queue is
// asked in the part waited out awake, so that the next byte follows the pause at once. The lead
// rises at once to a later wake-up than it allowed for, and sinks back by an eighth of the
// difference per byte once wake-ups come sooner again.
bool CComPort::PauseAfter(Clock::time_point written) {
    const Clock::time_point deadline = written + kBytePause;
    const Clock::time_point wake = deadline - m_wakeLead;
    SleepUntil(wake);
    const Clock::duration needed = Clock::now() - wake + kWakeMargin;
    if (needed <= kMaxWakeLead + kWakeMargin)
        m_wakeLead =
            needed > m_wakeLead
                ? std::min<Clock::duration>(needed, kMaxWakeLead)
                : std::max<Clock::duration>(m_wakeLead - (m_wakeLead - needed) / 8, kMinWakeLead);
    if (!AwaitQueueEmpty(written + kWriteBound))
        return false;
    while (Clock::now() < deadline) {
    }
    return true;
}

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
    // What the hooks reach may be gone already (the window's members before their link).
    m_onWait = nullptr;
    m_onByte = nullptr;
    Close();
}

std::uint32_t CComPort::Open() {
    PortBinding binding;
    if (!m_strDevicePath.empty())
        binding.device = m_strDevicePath;
    else if (m_pszPortName)
        binding = m_names.Resolve(m_pszPortName);
    m_strDevice = binding.device;
    m_strOpenKey.clear();
    m_bDeviceGone = binding.gone;
    m_bXoffHeld = false;
    if (m_strDevice.empty())
        return ReportError(LinkStep::Open, ENOENT);
    if (IsRemoteName(m_strDevice))
        return OpenRemote();
    // Never another device in its place: the name waits for its own to come back.
    if (binding.gone)
        return ReportError(LinkStep::Open, ENODEV);

    int openError = 0;
    m_hComm = CTtyLine::Open(m_strDevice, m_names.OnUsb(m_strDevice), openError);
    if (!m_hComm)
        return ReportError(LinkStep::Open, openError);
    if (const auto failure = m_hComm->Configure(m_nBaudRate, m_onWait)) {
        // A device unplugged meanwhile must not keep its node taken (see TransmitFailed).
        if (m_hComm->Gone(failure->errorNumber))
            Close();
        return ReportError(*failure);
    }
    return 0;
}

// Every open connects afresh. A remote that cannot be set up is let go at once: a shared port
// held open without use would keep every other client out.
std::uint32_t CComPort::OpenRemote() {
    const auto address = ParseRemoteAddress(m_strDevice);
    if (!address)
        return ReportError(LinkStep::Resolve, EINVAL);
    const Clock::time_point stillClosing = m_strRemoteEnded == m_strDevice
                                               ? m_remoteEnded + quirks::kStillClosing
                                               : Clock::time_point{};
    auto failure = ConnectRemote(*address);
    while (failure && failure->step == LinkStep::Open && failure->errorNumber == EBUSY &&
           Clock::now() < stillClosing) {
        (void)WaitReady(-1, 0, Clock::now() + quirks::kBusyRetry, m_onWait);
        failure = ConnectRemote(*address);
    }
    return failure ? ReportError(*failure) : 0;
}

std::optional<LineFailure> CComPort::ConnectRemote(const RemoteAddress& address) {
    auto connected = CRemoteLine::Connect(address, m_onWait);
    if (const auto* failure = std::get_if<LineFailure>(&connected))
        return *failure;
    auto& line = std::get<std::unique_ptr<CRemoteLine>>(connected);
    m_strOpenKey = line->KeyOpenToOthers();
    m_hComm = std::move(line);
    if (auto failure = m_hComm->Configure(m_nBaudRate, m_onWait)) {
        Close();
        return failure;
    }
    return std::nullopt;
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
// wire; on a slower line the next byte follows as soon as the previous one has left. A remote
// port keeps no queue the link could see: there a byte is sent once the socket took it.
std::uint32_t CComPort::SendText(std::string str) {
    for (std::size_t i = 0; i < str.size(); ++i) {
        if (const int error = TransmitByte(str[i]))
            return TransmitFailed(error);
        const Clock::time_point written = Clock::now();
        if (m_onByte && !m_onByte(i + 1, written)) {
            m_hComm->SendEndedEarly();
            return ECANCELED;
        }
        if (!PauseAfter(written))
            return TransmitFailed(ETIMEDOUT);
    }
    return 0;
}

std::uint32_t CComPort::TransmitFailed(int errorNumber) {
    const bool gone = m_hComm && m_hComm->Gone(errorNumber);
    LinkHold hold = LinkHold::None;
    if (errorNumber == ETIMEDOUT && m_hComm && !gone) { // the link's own bound
        hold = LineHold();
        // Nothing must leave later behind the operator's back, nor hold up the close.
        m_hComm->DropHeldOutput();
    }
    // Closed at once, before the report waits for the operator: as long as a descriptor holds a
    // pulled USB adapter's tty, the kernel gives the adapter a new node when it comes back; a
    // broken connection is of no further use.
    if (gone) {
        Close();
        m_bDeviceGone = true;
    }
    return ReportError(LinkStep::Transmit, errorNumber, hold);
}

// Waits for room on the line, within kWriteBound. Where the link stops the output itself, the
// byte waits for XON (and, on a remote port, for CTS) before it is written.
int CComPort::TransmitByte(char c) {
    // Closed when its device or connection went: later sends say so again, until a press
    // reopens.
    if (!m_hComm)
        return !m_bDeviceGone ? EBADF : IsRemoteName(m_strDevice) ? ENOTCONN : ENODEV;
    const Clock::time_point deadline = Clock::now() + kWriteBound;
    if (m_hComm->FlowByLink())
        if (const int error = AwaitLineFree(deadline))
            return error;
    for (;;) {
        if (const int error = m_hComm->Write(c); error != EAGAIN)
            return error;
        if (const int error = WaitReady(m_hComm->Fd(), m_hComm->WriteEvents(), deadline, m_onWait))
            return error;
    }
}

// Flow control done by the link (CLine::FlowByLink): takes the far end's XON and XOFF out of
// what it has sent since, in order, and discards the rest, since the panel has nothing else to
// say (a remote line reads them itself, and says so by Held()). Returns 0 once XON is in force
// and the line reports nothing holding it, ETIMEDOUT when either still holds at the deadline.
int CComPort::AwaitLineFree(Clock::time_point deadline) {
    for (;;) {
        std::string input;
        const int error = m_hComm->Read(input);
        for (const char c : input)
            if (c == kXon || c == kXoff)
                m_bXoffHeld = c == kXoff;
        if (error)
            return error;
        if (!m_bXoffHeld && m_hComm->Held() == LinkHold::None)
            return 0;
        if (const int waitError = WaitReady(m_hComm->Fd(), POLLIN, deadline, m_onWait,
                                            [this] { return m_hComm->ReadPending(); }))
            return waitError;
    }
}

// True once the line's output queue is empty, false when the deadline passes first. Asked
// near the end of the pause, so at the usual speeds the byte is long gone and nothing is polled.
bool CComPort::AwaitQueueEmpty(Clock::time_point deadline) const {
    constexpr auto kPollInterval = 250us;
    return !m_hComm || WaitUntil([this] { return m_hComm->Queued() == 0; }, kPollInterval, deadline,
                                 m_onWait) == 0;
}

// Why the line does not take bytes: an XOFF the link has seen, else what the line tells.
LinkHold CComPort::LineHold() const {
    if (m_bXoffHeld)
        return LinkHold::OutputHeld;
    return m_hComm ? m_hComm->Hold() : LinkHold::None;
}

void CComPort::CloseIfGone() {
    if (m_hComm && m_hComm->HungUp()) {
        Close();
        m_bDeviceGone = true;
    }
}

std::uint32_t CComPort::ReportError(LinkStep step, int errorNumber, LinkHold hold) {
    return ReportError(LineFailure{step, errorNumber}, hold);
}

std::uint32_t CComPort::ReportError(const LineFailure& failure, LinkHold hold) {
    m_dwLastError = static_cast<std::uint32_t>(failure.errorNumber);
    if (!m_report)
        return m_dwLastError;
    LinkError error{failure.step,    m_dwLastError, m_pszPortName ? m_pszPortName : "",
                    m_strDevice,     hold,          failure.step == LinkStep::Open && m_bDeviceGone,
                    failure.setting, failure.tls};
    error.remoteWords = failure.remoteWords;
    if (failure.step == LinkStep::Open && !IsRemoteName(m_strDevice))
        AddOpenFailureFacts(error); // at once, while a holder still holds the device
    m_report(error);
    return m_dwLastError;
}

void CComPort::Close() {
    if (!m_hComm)
        return;
    m_hComm->Finish(m_onWait);
    m_hComm.reset();
    if (IsRemoteName(m_strDevice)) {
        m_strRemoteEnded = m_strDevice;
        m_remoteEnded = Clock::now();
    }
}
