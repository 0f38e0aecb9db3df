// /proc/locks lists one lock per line:
//   "1: FLOCK  ADVISORY  WRITE 4711 00:19:5 0 EOF"
// id, type, mode, access, the holder's pid (-1 for a lock owned by an open file description),
// then the locked file as major:minor:inode, the first two in hex, of the file system the file
// lives on. A line with "->" after the id is a process waiting for the lock, not a holder.
#include "FileLocks.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

std::vector<int> LockHolders(const struct stat& st) {
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<int> holders;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, type, mode, access, file;
        int pid = 0;
        fields >> id >> type;
        if (type != "->" && fields >> mode >> access >> pid >> file && file == key)
            holders.push_back(pid);
    }
    return holders;
}
