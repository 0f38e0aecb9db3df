#include "JitterRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <random>

using namespace std::chrono_literals;

JitterRelay::JitterRelay(const RemoteAddress& remote)
    : m_remote(remote) {
    m_listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (!m_listener.valid() ||
        ::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_listener.get(), 1) != 0 ||
        ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
}

std::string JitterRelay::Url() const {
    return m_port ? "rfc2217://127.0.0.1:" + std::to_string(m_port) : std::string();
}

void JitterRelay::Run(const std::stop_token& stop) {
    pollfd accept{m_listener.get(), POLLIN, 0};
    while (!stop.stop_requested() && ::poll(&accept, 1, 20) <= 0) {
    }
    if (stop.stop_requested())
        return;
    const UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    const UniqueFd server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(m_remote.service)));
    ::inet_pton(AF_INET, m_remote.host.c_str(), &address.sin_addr);
    if (::connect(server.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return;
    const int one = 1;
    ::setsockopt(server.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayUs(0, 1000);
    std::deque<std::pair<Clock::time_point, std::string>> held;
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        while (!held.empty() && held.front().first <= now) {
            (void)::send(server.get(), held.front().second.data(), held.front().second.size(),
                         MSG_NOSIGNAL);
            held.pop_front();
        }
        // Asleep until the next segment is due, to the microsecond: on a machine of one CPU
        // (the guest rig) a relay that spun would take the time of ser2net and the link.
        const auto wait = held.empty() ? Clock::duration(20ms) : held.front().first - now;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                               static_cast<long>(ns % 1'000'000'000)};
        pollfd fds[] = {{client.get(), POLLIN, 0}, {server.get(), POLLIN, 0}};
        if (::ppoll(fds, 2, &timeout, nullptr) <= 0)
            continue;
        char buffer[512];
        if (fds[0].revents) {
            const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            const auto due = std::max(Clock::now() + std::chrono::microseconds(delayUs(random)),
                                      held.empty() ? Clock::time_point{} : held.back().first);
            held.emplace_back(due, std::string(buffer, static_cast<std::size_t>(n)));
        }
        if (fds[1].revents) {
            const ssize_t n = ::recv(server.get(), buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            (void)::send(client.get(), buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL);
        }
    }
}
