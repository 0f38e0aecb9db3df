#pragma once

#include "PacingRun.h"

// The link's SendText on a pseudo-terminal of its own, its writes stamped by its byte hook.
[[nodiscard]] Run SendThroughLink(const std::string& text);

// The plain way to pace: write one byte, usleep 3 ms, with the timer slack a program of its
// own starts with (a thread would inherit the lowered slack of the thread that made the link).
[[nodiscard]] Run SendReference(const std::string& text);
