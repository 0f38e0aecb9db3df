#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The panel's character set: Windows-1252. The panel keeps its own table so that a mistake in the
// tool's encoding shows up here instead of cancelling out.
namespace sim::cp1252 {

// The character a byte stands for; none for the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D). Control bytes map to their own code points.
[[nodiscard]] std::optional<char32_t> ToUnicode(std::uint8_t byte);

// A byte the panel shows on its display: space to "~", and every defined byte from 0x80 up.
[[nodiscard]] bool IsPrintable(std::uint8_t byte);

// For characters up to U+FFFF, which holds every character of the code page.
void AppendUtf8(std::string& out, char32_t c);

// The bytes as UTF-8 text; undefined bytes become U+FFFD.
[[nodiscard]] std::string ToUtf8(const std::string& bytes);

} // namespace sim::cp1252
