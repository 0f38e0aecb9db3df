#pragma once

#include <string>
#include <string_view>

// The bytes that stand for the transmit box's text on the line: every line break as CR LF,
// every other character as one Windows-1252 byte, "?" for a character the code page lacks.
// Its size is the transcript's length the window counts sent bytes against.
[[nodiscard]] std::string ToTranscriptBytes(std::u32string_view text);

// The part of the transcript not yet sent: its rightmost (size − nSentCount) bytes; empty when
// that is zero or less, the whole transcript when nSentCount is zero or less.
[[nodiscard]] std::string_view NewTail(std::string_view transcript, int nSentCount);
