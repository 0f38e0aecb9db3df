#pragma once

#include "LinkError.h"

#include <optional>
#include <string>

// What the system tells about a device that could not be opened, for the operator's remedy.

// The process holding a lock on the device.
struct PortHolder {
    int pid = 0;
    std::string name; // its command name; empty when it cannot be read
};

// The process that holds a lock on `device` in /proc/locks: the flock() this program takes, or
// any other lock a program took on it. None when no visible process does, e.g. when the device
// is only held by exclusive mode or by a process in another PID namespace.
[[nodiscard]] std::optional<PortHolder> FindPortHolder(const std::string& device);

// The name of the device's group when membership in it would allow opening the device (the
// group may read and write it), else empty.
[[nodiscard]] std::string OpeningGroup(const std::string& device);

// Adds to a failed open what the system tells about it: the group for EACCES, the holder for
// EBUSY.
void AddOpenFailureFacts(LinkError& error);
