#pragma once

namespace sim {

// Exclusive use (TIOCEXCL) belongs to the tty, and a pseudo-terminal's tty lives as long as its
// master: a program killed while it held the line leaves the mark behind, and every later open
// by an ordinary user fails with EBUSY until the panel ends. The tool guards a pseudo-terminal
// with flock() alone; a program that marks the line and locks it, as terminal programs do,
// holds the lock as long as it lives, so a mark with no lock on the line in /proc/locks can only
// be left by a process that is gone.
//
// Clears such a mark through `fd`, a descriptor of the same tty, and says whether it did.
// Never locks the line itself, so it cannot get in the way of a tool that is opening it.
[[nodiscard]] bool ClearStaleExclusivity(int fd);

} // namespace sim
