#pragma once

#include "BenchText.h"
#include "LineTimer.h"

#include <LinkError.h>

#include <unistd.h>

#include <string>
#include <vector>

// What every part of the pacing benchmark shares: the line, the pause, one measured run.
constexpr int kBaudRate = 38400;
constexpr useconds_t kReferencePauseUs = 3000;
constexpr double kPauseMs = 3.0;

// One string sent once: when the sender was asked, when it wrote each byte, and when each
// byte arrived at the far end.
struct Run {
    Clock::time_point start; // the SendText call, the paste, or the reference's first write
    std::vector<Clock::time_point> writes;
    std::vector<Arrival> arrivals;
    long timerSlackNs = 0; // of the sending thread
    std::string error;     // empty when exactly the sent bytes arrived, in order
};

// Takes what the far end received for `sent` into the run; anything else is an error.
void Receive(Run& run, LineTimer& line, const std::string& sent);

[[nodiscard]] std::string Describe(const LinkError& e);
