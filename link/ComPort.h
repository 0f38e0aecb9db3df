#pragma once

#include "Line.h"
#include "LinkError.h"
#include "PortName.h"
#include "PortNames.h"
#include "TtyLine.h"
#include "Wait.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The program's one connection to the panel: owns one open serial port with the panel's
// fixed line settings and sends text to it one byte at a time, 3 ms apart. The port is a serial
// device of this machine or, named "rfc2217://HOST:PORT", one shared on the network; the
// pacing, the bounds and the reports are the same for both. It reads nothing but the far end's
// flow control.
//
// Every failing step tells the operator through the reporter given at construction, before
// the operation returns. Open and SendText then return the error number; the reopening
// operations always return 0.
class CComPort {
public:
    using Clock = WaitClock;
    // Runs after every byte handed to the line, inside that byte's pause, with the count of
    // this string's bytes handed over so far and the time of the write. It lets the caller keep
    // a window alive, show progress or measure the pacing; returning false stops the string
    // there: SendText then returns ECANCELED without a report, since nothing failed.
    using ByteHook = std::function<bool(std::size_t nSent, Clock::time_point written)>;
    // Runs every few milliseconds while a byte waits for room on the line or for the driver's
    // queue to empty (a held line takes up to kWriteBound), so that the caller's window stays
    // alive meanwhile. Connecting to a remote port and setting it up run it as well.
    using WaitHook = ::WaitHook;

    // Pause after every byte, whatever the line speed.
    static constexpr std::chrono::milliseconds kBytePause{3};
    // How long one byte may take, from its write until it has left the driver's output
    // queue, before it counts as failed.
    static constexpr std::chrono::milliseconds kWriteBound{500};
    // How long closing a local line lets queued output stand still before it discards it.
    static constexpr std::chrono::milliseconds kStallBound = CTtyLine::kStallBound;

    // Opens "COM1:" at 38400 bit/s at once; a failure is reported, construction succeeds.
    explicit CComPort(ErrorReporter reporter);
    // Opens the given port (one of kPortNames) at the given speed at once: a caller that knows
    // both beforehand opens the port once instead of three times. A device given by its path
    // is opened in place of the one the name stands for, as is a remote port given by its name
    // ("rfc2217://rack-3:7000"); reports still carry the name.
    CComPort(ErrorReporter reporter, const char* pszPortName, std::int32_t nBaudRate,
             std::string strDevicePath = {});
    virtual ~CComPort();

    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    std::uint32_t Open();
    std::uint32_t Reopen();
    std::uint32_t SetPort(const char* pszPortName);
    std::uint32_t SetBaudRate(std::int32_t nBaudRate);
    std::uint32_t SendText(std::string str);

    // Lets go of a device that was unplugged while nothing was being sent: as long as a
    // descriptor holds it, the kernel gives the adapter a new node when it comes back. Likewise
    // of a remote port whose connection ended. The next send reports it. Cheap enough to call a
    // few times a second.
    void CloseIfGone();

    [[nodiscard]] bool IsOpen() const { return m_hComm != nullptr; }
    // The client key of the secured port just opened, when others than its owner may read it
    // (it is used all the same); empty otherwise. The caller warns on standard error.
    [[nodiscard]] const std::string& KeyOpenToOthers() const { return m_strOpenKey; }
    // What the COM names stand for in this run; the window's tooltips show it.
    [[nodiscard]] CPortNames& PortNames() { return m_names; }

    void SetByteHook(ByteHook hook) { m_onByte = std::move(hook); }
    void SetWaitHook(WaitHook hook) { m_onWait = std::move(hook); }

private:
    std::uint32_t ReportError(const LineFailure& failure, LinkHold hold = LinkHold::None);
    std::uint32_t ReportError(LinkStep step, int errorNumber, LinkHold hold = LinkHold::None);
    [[nodiscard]] std::uint32_t TransmitFailed(int errorNumber);
    [[nodiscard]] int TransmitByte(char c);
    [[nodiscard]] bool PauseAfter(Clock::time_point written);
    [[nodiscard]] int AwaitLineFree(Clock::time_point deadline);
    [[nodiscard]] bool AwaitQueueEmpty(Clock::time_point deadline) const;
    [[nodiscard]] LinkHold LineHold() const;
    std::uint32_t OpenRemote();
    [[nodiscard]] std::optional<LineFailure> ConnectRemote(const RemoteAddress& address);
    void Close();

    const char* m_pszPortName = "COM1:";
    std::int32_t m_nBaudRate = 38400;
    std::uint32_t m_dwLastError = 0;
    std::unique_ptr<CLine> m_hComm;
    std::string m_strDevicePath; // the device the caller handed over, until SetPort
    std::string m_strDevice;     // what the port name stood for at the last open
    std::string m_strOpenKey;    // see KeyOpenToOthers
    // The remote port whose connection the link ended last, and when (see quirks::kStillClosing).
    std::string m_strRemoteEnded;
    Clock::time_point m_remoteEnded;
    bool m_bDeviceGone = false; // and that device was unplugged, or the connection ended, then
    CPortNames m_names;
    bool m_bXoffHeld = false; // the far end's last XON or XOFF was XOFF (CLine::FlowByLink)
    Clock::duration m_wakeLead = std::chrono::microseconds{100}; // how early a pause stops sleeping
    ErrorReporter m_report;
    ByteHook m_onByte;
    WaitHook m_onWait;
};
