#pragma once

#include <functional>

// Root opens a tty past exclusive use and past its permissions, so tests of those run as an
// ordinary user: `body` runs in a forked child that, when started as root, drops to uid and gid
// 65534 with no supplementary groups. Its GoogleTest failures are printed there; the call
// returns whether the child ran without any and exited normally.
[[nodiscard]] bool RunAsOrdinaryUser(const std::function<void()>& body);

// The uid and gid the child runs as.
inline constexpr unsigned kOrdinaryId = 65534;
