#include "PortHolder.h"

#include "FileLocks.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <vector>

namespace {

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
    for (const int pid : LockHolders(st)) {
        if (pid > 0)
            return PortHolder{pid, CommandName(pid)};
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
