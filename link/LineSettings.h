#pragma once

#include "LineFailure.h"

#include <optional>

// Who stops the output when the far end sends XOFF.
enum class OutputFlow {
    ByDriver, // the tty layer (IXON) has the driver stop its UART
    ByLink,   // the driver ignores the tty layer's stop, so IXON stays off and the link
              // watches for XOFF itself
};

// Puts an open tty into the panel's line settings at the given speed: 8 data bits, no
// parity, one stop bit, CTS and XON/XOFF flow control, raw bytes. Reads the settings back
// afterwards, since a driver may accept a request and quietly apply something else.
[[nodiscard]] std::optional<LineFailure> ApplyLineSettings(int fd, int nBaudRate,
                                                           OutputFlow flow = OutputFlow::ByDriver);
