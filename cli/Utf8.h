#pragma once

#include <string>
#include <string_view>

// Text from the command line and standard input is UTF-8. Every byte that does not belong to a
// well-formed sequence (stray continuation bytes, truncated or overlong sequences, surrogates,
// code points past U+10FFFF) becomes one U+FFFD, which the transcript sends as one "?".
[[nodiscard]] std::u32string DecodeUtf8(std::string_view bytes);
