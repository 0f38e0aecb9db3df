#pragma once

#include <UniqueFd.h>

#include <chrono>
#include <string>
#include <string_view>

// The plain far end of a null-modem cable inside the test machine: a raw tty without any flow
// control, so that it passes every byte it receives (XON and XOFF included) and sends exactly
// what the test gives it.
class SerialFarEnd {
public:
    explicit SerialFarEnd(const std::string& device, unsigned long speed = 38400);

    // Reads until `count` bytes have arrived or `timeout` has passed.
    [[nodiscard]] std::string Read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads whatever arrives until the line has been quiet for `quiet`.
    [[nodiscard]] std::string
    ReadAll(std::chrono::milliseconds quiet = std::chrono::milliseconds(500));
    // Sends the bytes and returns once they have left this end's UART.
    void Write(std::string_view bytes);

private:
    UniqueFd m_fd;
};

// Bytes waiting in the output queue of a tty's driver, asked through a descriptor of its own
// (root may open a tty that another descriptor holds exclusively).
[[nodiscard]] int QueuedOutput(const std::string& device);
