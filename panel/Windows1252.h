#pragma once

#include <optional>

// The Windows-1252 byte for one Unicode code point; none when the code page has no byte for it.
// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, as Windows treats them.
[[nodiscard]] std::optional<unsigned char> ToWindows1252(char32_t codePoint);
