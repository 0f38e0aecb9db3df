#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// What the far end of a line received, read from its non-blocking descriptor.

// Reads until `count` bytes have arrived or `timeout` has passed.
[[nodiscard]] std::string ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout);
// Reads whatever arrives until the line has been quiet for `quiet`.
[[nodiscard]] std::string ReadUntilQuiet(int fd, std::chrono::milliseconds quiet);

// Every byte value once, 0 to 255: what a byte-exact line must carry unchanged.
[[nodiscard]] std::string AllByteValues();
