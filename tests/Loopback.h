#pragma once

#include <UniqueFd.h>

// A TCP socket listening on 127.0.0.1 at a port the kernel picks, with room for `backlog`
// connections not accepted yet; invalid when it cannot be had. `port` gets the port.
[[nodiscard]] UniqueFd ListenOnLoopback(int backlog, int& port);
