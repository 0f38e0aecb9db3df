#pragma once

#include <system_error>

namespace sim {

// Puts a serial line, or the tool's side of a pseudo-terminal, into the panel's framing: raw
// bytes, 8 data bits, no parity, one stop bit, CTS/RTS and XON/XOFF flow control, modem lines
// ignored. The speed is taken by number, so rates without a classic constant (14400) work too.
[[nodiscard]] std::error_code ApplyPanelFraming(int fd, unsigned baud);

} // namespace sim
