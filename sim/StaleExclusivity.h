#pragma once

namespace sim {

// Exclusive use (TIOCEXCL) belongs to the tty, and a pseudo-terminal's tty lives as long as its
// master: a tool killed while it held the line leaves the mark behind, and every later open by
// an ordinary user fails with EBUSY until the panel ends. The tool takes an flock() on the line
// before it marks it and clears the mark before it lets go of the lock, so a mark with no lock
// on the line in /proc/locks can only be left by a process that is gone.
//
// Clears such a mark through `fd`, a descriptor of the same tty, and says whether it did.
// Never locks the line itself, so it cannot get in the way of a tool that is opening it.
[[nodiscard]] bool ClearStaleExclusivity(int fd);

} // namespace sim
