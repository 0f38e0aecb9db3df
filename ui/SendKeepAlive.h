#pragma once

#include <ComPort.h>

#include <chrono>

// Keeps the window alive while a long string goes out.
//
// The link pauses 3 ms after every byte on the window's own thread, so a 1,000-character paste
// holds that thread for 3 s and a 30,000-character one for 90 s; a window that neither repaints
// nor answers the window manager's ping for a few seconds is offered to be force-quit. Hooked
// into the link, this lets the window handle, every kTick from inside a byte's pause, all that
// is not the operator's input: it repaints and answers the window manager. Keys, clicks, paste,
// the close box and menus stay queued by the toolkit and are handled after the send, in order.
// The busy cursor shows from the first such moment to the end of the send; a short send (a typed
// key) never reaches it and leaves the cursor alone.
class CSendKeepAlive {
public:
    static constexpr std::chrono::milliseconds kTick{30};

    // One send, from its first byte to its return; or one reopening of the port, which connects
    // to a port on another machine.
    class CSending {
    public:
        explicit CSending(CSendKeepAlive& keepAlive);
        ~CSending();
        CSending(const CSending&) = delete;
        CSending& operator=(const CSending&) = delete;

    private:
        CSendKeepAlive& m_keepAlive;
    };

    // The link's byte hook, active within a CSending. False once Stop() was called during this
    // send.
    [[nodiscard]] bool OnByte(CComPort::Clock::time_point written);
    // The link's wait hook: a byte waiting on a held line keeps the window alive the same way.
    void OnWait() { static_cast<void>(OnByte(CComPort::Clock::now())); }

    // The send in progress ends at its next byte; the rest of it is dropped.
    void Stop() { m_bStop = true; }

private:
    CComPort::Clock::time_point m_lastTick;
    bool m_bSending = false;
    bool m_bStop = false;
    bool m_bBusyCursor = false;
};
