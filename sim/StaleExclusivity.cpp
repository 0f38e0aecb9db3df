#include "StaleExclusivity.h"

#include <FileLocks.h>

#include <sys/ioctl.h>
#include <sys/stat.h>

namespace sim {

bool ClearStaleExclusivity(int fd) {
    int exclusive = 0;
    struct stat st {};
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0 || ::fstat(fd, &st) != 0) {
        return false;
    }
    if (!LockHolders(st).empty()) {
        return false;
    }
    ::ioctl(fd, TIOCNXCL);
    // A tool that opened the line between the look at the locks and the clearing holds its lock
    // by now, or it marks the line after this: give such a holder its mark back. Should it have
    // closed in between, the next look clears the mark again.
    if (!LockHolders(st).empty()) {
        ::ioctl(fd, TIOCEXCL);
        return false;
    }
    return true;
}

} // namespace sim
