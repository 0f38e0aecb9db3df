#pragma once

#include <cstddef>
#include <string>

// Printable ASCII: no flow-control byte, no line break, no 0xFF, and neighbours always differ.
[[nodiscard]] std::string Pattern(std::size_t length);
