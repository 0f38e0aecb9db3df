#pragma once

#include <sys/stat.h>

#include <vector>

// The processes holding a lock on the file `st` describes, from the kernel's lock table
// (/proc/locks), in its order: flock(), POSIX and open-file-description locks alike; -1 stands
// for a lock whose owner the kernel does not name. Processes still waiting for a lock hold none.
[[nodiscard]] std::vector<int> LockHolders(const struct stat& st);
