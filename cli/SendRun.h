#pragma once

#include "SendOptions.h"

#include <StopSignals.h>

#include <string>

// Exit status of a run stopped by a signal: 128 + its number, as a shell reports it.
[[nodiscard]] constexpr int StoppedStatus(int signo) {
    return 128 + signo;
}

// Reads the input file descriptor to its end into the items that take standard input: the first
// gets all of it, any later one nothing, since the input has ended. Returns 0 (EX_OK), EX_IOERR
// after printing why, or the stopped status when a signal came while it waited.
[[nodiscard]] int ReadStandardInput(std::vector<SendItem>& items, int fd, const CStopSignals& stop);

// Opens the chosen port once and sends the items in order, one byte at a time, with a progress
// line when standard error is a terminal. Failures of the link go to standard error as the
// window shows them. Returns the exit status: 0, EX_UNAVAILABLE, EX_IOERR or the stopped status.
[[nodiscard]] int RunSend(const SendOptions& options, const CStopSignals& stop);

// For --list: "COM1 /dev/ttyUSB0 FT1ZQ3A8:1.0" per port name (the device, then what the name is
// bound to where that differs from the node), "COM2 -" for a name without a device.
[[nodiscard]] std::string PortList();
