#pragma once

#include "HostLookup.h"
#include "UniqueFd.h"

// Connects to the first of `candidates` that takes the connection, as RFC 8305 says: the
// families in turn, the next address 250 ms after the one before while that is still
// pending (at once when it failed), all by `deadline`. The connected socket (non-blocking,
// Nagle's delay off), or the most telling errno of the attempts.
[[nodiscard]] std::variant<UniqueFd, int> RaceConnections(const std::vector<Endpoint>& candidates,
                                                          WaitClock::time_point deadline,
                                                          const WaitHook& onWait);
