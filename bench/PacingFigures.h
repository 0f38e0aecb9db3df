#pragma once

#include "PacingRun.h"

#include <optional>
#include <string>
#include <vector>

// The same string sent several times by the link and by the reference, alternately, so that
// both see the same state of the machine.
struct Case {
    std::string title;
    std::string trigger; // what the first-byte time counts from
    std::size_t length = 0;
    std::vector<Run> ours;
    std::vector<Run> reference;
};

// Prints the figures of every case and the verdict; false when any run broke.
[[nodiscard]] bool ReportAll(const std::vector<Case>& cases);
