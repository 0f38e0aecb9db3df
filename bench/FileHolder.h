#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

// A running process by its command name (its first, when several run), and its descriptor of
// `file` (-1 while it holds none), read from /proc.
struct FileHolder {
    pid_t pid = 0;
    int fd = -1;
};
[[nodiscard]] std::optional<FileHolder> HolderOf(std::string_view command, const std::string& file);
