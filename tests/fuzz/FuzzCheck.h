#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

// A broken invariant is a crash for libFuzzer: it keeps the input that broke it.
inline void Require(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

// Reads the fuzzer's input front to back; past its end every read is zero.
class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* data, std::size_t size)
        : m_rest(data, size) {}

    [[nodiscard]] bool Empty() const { return m_rest.empty(); }

    std::uint8_t Byte() {
        if (m_rest.empty())
            return 0;
        const std::uint8_t b = m_rest.front();
        m_rest = m_rest.subspan(1);
        return b;
    }

    std::int32_t Int32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | Byte();
        return static_cast<std::int32_t>(value);
    }

    // Up to n bytes, fewer at the end of the input.
    std::span<const std::uint8_t> Bytes(std::size_t n) {
        const auto taken = m_rest.first(n < m_rest.size() ? n : m_rest.size());
        m_rest = m_rest.subspan(taken.size());
        return taken;
    }

private:
    std::span<const std::uint8_t> m_rest;
};
