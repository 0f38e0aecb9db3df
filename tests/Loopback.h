#pragma once

#include <UniqueFd.h>

#include <sys/socket.h>

// A TCP socket listening on the loopback (127.0.0.1, or ::1 for AF_INET6) at a port the kernel
// picks, with room for `backlog` connections not accepted yet; invalid when it cannot be had.
// `port` gets the port.
[[nodiscard]] UniqueFd ListenOnLoopback(int backlog, int& port, int family = AF_INET);
