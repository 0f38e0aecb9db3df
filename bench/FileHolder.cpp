#include "FileHolder.h"

#include <filesystem>
#include <fstream>

std::optional<FileHolder> HolderOf(std::string_view command, const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        std::string name;
        std::getline(std::ifstream(process.path() / "comm"), name);
        if (name != command)
            continue;
        FileHolder holder{std::stoi(process.path().filename().string())};
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", error))
            if (fs::read_symlink(fd.path(), error) == file)
                holder.fd = std::stoi(fd.path().filename().string());
        return holder;
    }
    return std::nullopt;
}
