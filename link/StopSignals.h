#pragma once

#include "UniqueFd.h"

#include <signal.h>

// While it lives, SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal) ask the program
// to stop instead of killing it, so that it closes its line properly: a tty left behind with
// its exclusive-use mark refuses the next copy. The window, kelmora-send and the virtual panel
// all stop this way.
//
// The handler notes the first signal and writes a byte into a pipe, all a signal handler may
// safely do: a loop that waits (an event loop, a poll) watches WakeFd(), a loop that works
// (a send, byte by byte) asks Received(). A SIGHUP ignored when the program started (nohup)
// stays ignored. The previous handlers come back afterwards; one object at a time, since a
// handler can reach only state of the process.
class CStopSignals {
public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The first signal that asked to stop, 0 while none has.
    [[nodiscard]] int Received() const;
    // Readable from the first signal on; -1 when no pipe could be made (the signals then keep
    // their default action and end the program, as without this object).
    [[nodiscard]] int WakeFd() const { return m_read.get(); }

private:
    UniqueFd m_read;
    UniqueFd m_write;
    struct sigaction m_previous[3] = {};
};
