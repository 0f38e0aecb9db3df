#pragma once

// What the machine does to a benchmark run: its load and how late its sleeps end.

// The link's pause after a byte sleeps until shortly before its end and waits out the rest
// awake; a sleep that ends later than that lengthens the pause.
constexpr double kLinkWakeLeadUs = 100.0;

#include <string>

// The load average as /proc/loadavg gives it.
[[nodiscard]] std::string LoadAverage();

// Prints how late sleeps of about a pause end on this machine at the moment, with the link's
// timer slack: the first cause of lengthened pauses. `when` says before or after the runs.
void PrintWakeLateness(const char* when);
