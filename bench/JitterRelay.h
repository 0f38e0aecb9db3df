#pragma once

#include "LineTimer.h"

#include <PortName.h>
#include <UniqueFd.h>

#include <string>
#include <thread>

// A TCP relay on 127.0.0.1 to a remote RFC 2217 port, for one client: towards the remote each
// segment leaves after a random delay of 0–1 ms, in order (a late segment also holds back those
// behind it, as on a network); the way back is passed on at once.
class JitterRelay {
public:
    explicit JitterRelay(const RemoteAddress& remote);

    // The port name that reaches the remote through the relay; empty when it could not listen.
    [[nodiscard]] std::string Url() const;

private:
    void Run(const std::stop_token& stop);

    RemoteAddress m_remote;
    UniqueFd m_listener;
    int m_port = 0;
    std::jthread m_thread; // last: stopped and joined before the listener closes
};
