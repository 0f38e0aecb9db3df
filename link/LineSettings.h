#pragma once

#include "LinkError.h"

#include <optional>

struct LineFailure {
    LinkStep step;
    int errorNumber;
};

// Puts an open tty into the panel's line settings at the given speed: 8 data bits, no
// parity, one stop bit, CTS and XON/XOFF flow control, raw bytes. Reads the settings back
// afterwards, since a driver may accept a request and quietly apply something else.
[[nodiscard]] std::optional<LineFailure> ApplyLineSettings(int fd, int nBaudRate);
