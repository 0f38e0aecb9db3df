#pragma once

#include "LinkError.h"

#include <optional>
#include <string_view>

struct LineFailure {
    LinkStep step;
    int errorNumber;
};

// Who stops the output when the far end sends XOFF.
enum class OutputFlow {
    ByDriver, // the tty layer and the driver (IXON): a UART's driver, an FTDI chip
    ByLink,   // the driver ignores it, so IXON stays off and the link watches for XOFF itself
};

// cdc_acm accepts IXON, but the tty layer only marks itself stopped, and the driver sends on.
[[nodiscard]] OutputFlow OutputFlowOf(std::string_view driver);

// Puts an open tty into the panel's line settings at the given speed: 8 data bits, no
// parity, one stop bit, CTS and XON/XOFF flow control, raw bytes. Reads the settings back
// afterwards, since a driver may accept a request and quietly apply something else.
[[nodiscard]] std::optional<LineFailure> ApplyLineSettings(int fd, int nBaudRate,
                                                           OutputFlow flow = OutputFlow::ByDriver);
