// /proc/locks lists one lock per line:
//   "1: FLOCK  ADVISORY  WRITE 4711 00:19:5 0 EOF"
// id, type, mode, access, the holder's pid (-1 for a lock owned by an open file description),
// then the locked file as major:minor:inode, the first two in hex, of the file system the device
// node lives on. A line with "->" after the id is a process waiting for the lock, not a holder.
#include "PortHolder.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string LockedFileKey(const struct stat& st) {
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return key;
}

std::string CommandName(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::optional<PortHolder> FindPortHolder(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return std::nullopt;
    const std::string key = LockedFileKey(st);

    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, type, mode, access, file;
        long pid = 0;
        fields >> id >> type;
        if (type == "->")
            continue;
        if (!(fields >> mode >> access >> pid >> file) || file != key || pid <= 0)
            continue;
        return PortHolder{static_cast<int>(pid), CommandName(static_cast<int>(pid))};
    }
    return std::nullopt;
}

std::string OpeningGroup(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {};
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096);
    group entry{};
    group* found = nullptr;
    while (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    return found ? std::string(found->gr_name) : std::to_string(st.st_gid);
}

void AddOpenFailureFacts(LinkError& error) {
    if (error.errorNumber == EACCES) {
        error.openingGroup = OpeningGroup(error.device);
    } else if (error.errorNumber == EBUSY) {
        if (const auto holder = FindPortHolder(error.device)) {
            error.holderPid = holder->pid;
            error.holderName = holder->name;
        }
    }
}
