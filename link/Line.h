#pragma once

#include "LineSettings.h"
#include "LinkError.h"
#include "Wait.h"

#include <poll.h>

#include <optional>
#include <string>

// One open line to the panel, the part that differs between a local serial device and a port
// on another machine. CComPort does everything above it the same way on both: the pacing, the
// bounds, the far end's XON/XOFF where the line leaves it to the link, and the reports.
class CLine {
public:
    virtual ~CLine() = default;
    CLine() = default;
    CLine(const CLine&) = delete;
    CLine& operator=(const CLine&) = delete;

    // Puts the panel's line settings on the line at the given speed; the line stays open when
    // they fail.
    [[nodiscard]] virtual std::optional<LineFailure> Configure(int nBaudRate,
                                                               const WaitHook& onWait) = 0;

    // The descriptor the link waits on.
    [[nodiscard]] virtual int Fd() const = 0;
    // Hands one byte to the line: 0 once it was taken, EAGAIN when there is no room now (wait
    // for WriteEvents() on Fd(), then call again with the same byte), else the errno.
    [[nodiscard]] virtual int Write(char c) = 0;
    [[nodiscard]] virtual short WriteEvents() const { return POLLOUT; }

    // Whether the far end's XON and XOFF come to the link as data for it to act on.
    [[nodiscard]] virtual bool FlowByLink() const = 0;
    // Takes in what the far end has sent since, without waiting, and appends to `data` what is
    // left for the link to act on (a line that reads the far end's flow control itself keeps
    // it): 0, or the errno that ends the line (the far end gone).
    [[nodiscard]] virtual int Read(std::string& data) = 0;
    // Bytes already taken from Fd() and held for Read: waiting on Fd() would not see them.
    [[nodiscard]] virtual bool ReadPending() const { return false; }
    // What holds the output now, where the line learns of it itself and leaves the wait to the
    // link (a remote port: CTS off, XOFF, the server's suspend); None when nothing does.
    [[nodiscard]] virtual LinkHold Held() const { return LinkHold::None; }

    // Bytes taken but still held below the link (a driver's output queue); 0 when none or
    // unknown.
    [[nodiscard]] virtual int Queued() const { return 0; }
    // Why the line holds the output, for a byte that did not leave in time.
    [[nodiscard]] virtual LinkHold Hold() const = 0;
    // After a byte did not leave in time: nothing held below must reach the panel later.
    virtual void DropHeldOutput() = 0;
    // After a send the caller ended early (Ctrl+C, the window closed): likewise. A local line
    // needs nothing here: its close discards a queue that stands still.
    virtual void SendEndedEarly() {}
    // Ends the line in order before it is destroyed, running `onWait` while that waits.
    virtual void Finish(const WaitHook& /*onWait*/) {}

    // Whether an errno of Write or Read means the device or the connection is gone for good.
    [[nodiscard]] virtual bool Gone(int errorNumber) const = 0;
    // Whether the device or the connection went away while nothing was being sent.
    [[nodiscard]] virtual bool HungUp() const = 0;
};
