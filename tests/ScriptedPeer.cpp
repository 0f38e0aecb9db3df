#include "ScriptedPeer.h"

#include "Loopback.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBound = std::chrono::seconds(3);

bool SendAll(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ScriptedPeer::ScriptedPeer(std::string greeting, std::vector<Step> steps)
    : m_listener(ListenOnLoopback(1, m_port)) {
    if (!m_listener.valid())
        return; // Url() names port 0: the link's connect fails, and the test with it
    m_thread = std::thread([this, greeting = std::move(greeting), steps = std::move(steps)] {
        Serve(greeting, steps);
    });
}

ScriptedPeer::~ScriptedPeer() {
    if (m_thread.joinable())
        m_thread.join();
}

std::string ScriptedPeer::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(m_port);
}

std::string ScriptedPeer::Received() {
    if (m_thread.joinable())
        m_thread.join();
    return m_received;
}

void ScriptedPeer::Serve(const std::string& greeting, const std::vector<Step>& steps) {
    const auto deadline = Clock::now() + kBound;
    const auto left = [&] {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    pollfd accepting{m_listener.get(), POLLIN, 0};
    if (::poll(&accepting, 1, left()) != 1)
        return;
    const UniqueFd peer(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer.valid() || !SendAll(peer.get(), greeting))
        return;
    std::size_t step = 0;
    std::size_t matchedUpTo = 0;
    for (;;) {
        while (step < steps.size()) {
            const std::size_t at = m_received.find(steps[step].when, matchedUpTo);
            if (at == std::string::npos)
                break;
            matchedUpTo = at + steps[step].when.size();
            if (!SendAll(peer.get(), steps[step].then) || steps[step].close)
                return;
            ++step;
        }
        pollfd readable{peer.get(), POLLIN, 0};
        if (left() <= 0 || ::poll(&readable, 1, left()) != 1)
            return;
        char buffer[4096];
        const ssize_t n = ::recv(peer.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        m_received.append(buffer, static_cast<std::size_t>(n));
    }
}
