#pragma once

#include <signal.h>

// Turns SIGINT and SIGTERM into a request to stop for as long as the object lives: the run
// finishes the byte in flight, closes the port properly and ends with 128 + the signal's number,
// instead of dying with the tty still marked exclusive. The old handlers come back afterwards.
// One object at a time: a signal handler can only reach state of the process.
class CStopSignals {
public:
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The signal that asked to stop, 0 while none has.
    [[nodiscard]] int Received() const;

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};
