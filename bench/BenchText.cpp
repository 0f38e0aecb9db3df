#include "BenchText.h"

std::string Pattern(std::size_t length) {
    std::string s(length, ' ');
    for (std::size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>('!' + i % 94);
    return s;
}
