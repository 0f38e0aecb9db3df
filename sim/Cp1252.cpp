#include "Cp1252.h"

#include <array>

namespace sim::cp1252 {
namespace {

// 0x80..0x9F; zero marks an undefined byte. 0xA0..0xFF equal Latin-1.
constexpr std::array<char32_t, 32> kHighControlBlock = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,      // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, // 98..9F
};

} // namespace

std::optional<char32_t> ToUnicode(std::uint8_t byte) {
    if (byte < 0x80 || byte >= 0xA0) {
        return char32_t{byte};
    }
    const char32_t c = kHighControlBlock[byte - 0x80];
    if (c == 0) {
        return std::nullopt;
    }
    return c;
}

bool IsPrintable(std::uint8_t byte) {
    if (byte < 0x80) {
        return byte >= 0x20 && byte != 0x7F;
    }
    return ToUnicode(byte).has_value();
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        AppendUtf8(out, ToUnicode(static_cast<std::uint8_t>(b)).value_or(U'\uFFFD'));
    }
    return out;
}

} // namespace sim::cp1252
