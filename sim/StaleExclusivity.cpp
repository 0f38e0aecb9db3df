#include "StaleExclusivity.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace sim {
namespace {

// Whether a live process holds any lock on the file: /proc/locks names the locked file as
// "major:minor:inode" (hex, hex, decimal) and marks a process still waiting with "->".
bool AnyLockOn(dev_t device, ino_t inode) {
    const std::string file = [&] {
        char text[64];
        std::snprintf(text, sizeof text, " %02x:%02x:%llu ", major(device), minor(device),
                      static_cast<unsigned long long>(inode));
        return std::string(text);
    }();
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find(file) != std::string::npos && line.find(" -> ") == std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

bool ClearStaleExclusivity(int fd) {
    int exclusive = 0;
    struct stat st {};
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0 || ::fstat(fd, &st) != 0) {
        return false;
    }
    if (AnyLockOn(st.st_dev, st.st_ino)) {
        return false;
    }
    ::ioctl(fd, TIOCNXCL);
    // A tool that opened the line between the look at the locks and the clearing holds its lock
    // by now, or it marks the line after this: give such a holder its mark back. Should it have
    // closed in between, the next look clears the mark again.
    if (AnyLockOn(st.st_dev, st.st_ino)) {
        ::ioctl(fd, TIOCEXCL);
        return false;
    }
    return true;
}

} // namespace sim
