#pragma once

#include "PortName.h"
#include "Wait.h"

#include <sys/socket.h>

#include <variant>
#include <vector>

// One address of a remote port to connect to.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t size = 0;
};

// The addresses of a remote port's host in the resolver's order, by `deadline`: an address in
// standard notation as it is, a name looked up on a thread of glibc's, so that a slow name
// server holds up neither the window nor the deadline. Else the errno: ENOENT (no such name),
// EAGAIN (the name service did not answer), ETIMEDOUT, EINVAL (another numeric notation).
[[nodiscard]] std::variant<std::vector<Endpoint>, int>
ResolveHost(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait);
