#include "ConnectRace.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>

using namespace std::chrono_literals;

namespace {

// The order to try them in (RFC 8305): the families in turn, the first of the resolver's list
// first, so that a family that does not work here costs one delay, not one per address.
std::vector<Endpoint> Interleaved(const std::vector<Endpoint>& endpoints) {
    std::vector<Endpoint> first;
    std::vector<Endpoint> other;
    for (const Endpoint& endpoint : endpoints)
        (endpoint.address.ss_family == endpoints.front().address.ss_family ? first : other)
            .push_back(endpoint);
    std::vector<Endpoint> order;
    for (std::size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size())
            order.push_back(first[i]);
        if (i < other.size())
            order.push_back(other[i]);
    }
    return order;
}

// Of two reasons why no address took the connection, the one that tells the operator more: a
// host that refused says that it is there, an unreachable one where it fails; that time ran
// out says least.
int MoreTelling(int current, int candidate) {
    const auto rank = [](int error) {
        switch (error) {
        case 0:
            return -1;
        case ETIMEDOUT:
            return 0;
        case ECONNREFUSED:
            return 3;
        case EHOSTUNREACH:
        case ENETUNREACH:
            return 2;
        default:
            return 1;
        }
    };
    return rank(candidate) > rank(current) ? candidate : current;
}

// How long an attempt has before the next address is tried beside it (RFC 8305's
// "Connection Attempt Delay").
constexpr auto kAttemptDelay = 250ms;

// The connections under way at once, raced: the first to connect wins, the others are
// closed with it. An epoll descriptor holds every pending socket, so that the one wait
// primitive waits for all of them.
class CAttempts {
public:
    // 0 once it is under way, or made at once into `connected`; else the errno of the attempt,
    // and there is nothing to wait for.
    int Start(const Endpoint& endpoint, UniqueFd& connected) {
        UniqueFd socket(::socket(endpoint.address.ss_family,
                                 SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
        if (!socket.valid())
            return errno;
        const int one = 1;
        ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&endpoint.address),
                      endpoint.size) == 0) {
            connected = std::move(socket);
            return 0;
        }
        if (errno != EINPROGRESS)
            return errno;
        epoll_event event{};
        event.events = EPOLLOUT;
        event.data.fd = socket.get();
        if (::epoll_ctl(m_poller.get(), EPOLL_CTL_ADD, socket.get(), &event) != 0)
            return errno;
        m_pending.push_back(std::move(socket));
        return 0;
    }

    [[nodiscard]] bool Pending() const { return !m_pending.empty(); }
    [[nodiscard]] int Poller() const { return m_poller.get(); }

    // After the poller was ready: the socket connected, if any; each failed attempt's errno
    // goes to `failed`.
    UniqueFd Collect(int& failed) {
        epoll_event events[8];
        const int count = ::epoll_wait(m_poller.get(), events, 8, 0);
        for (int i = 0; i < count; ++i) {
            const auto it = std::ranges::find_if(m_pending, [&](const UniqueFd& socket) {
                return socket.get() == events[i].data.fd;
            });
            if (it == m_pending.end())
                continue;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(it->get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
            UniqueFd socket = std::move(*it);
            m_pending.erase(it);
            if (error == 0)
                return socket;
            failed = MoreTelling(failed, error);
        }
        return {};
    }

private:
    UniqueFd m_poller{::epoll_create1(EPOLL_CLOEXEC)};
    std::vector<UniqueFd> m_pending;
};

} // namespace

std::variant<UniqueFd, int> RaceConnections(const std::vector<Endpoint>& candidates,
                                            WaitClock::time_point deadline,
                                            const WaitHook& onWait) {
    const std::vector<Endpoint> endpoints = Interleaved(candidates);
    CAttempts attempts;
    if (attempts.Poller() < 0)
        return errno;
    int failed = 0;
    auto nextStart = WaitClock::now();
    for (std::size_t next = 0;;) {
        if (next < endpoints.size() && (!attempts.Pending() || WaitClock::now() >= nextStart)) {
            UniqueFd connected;
            failed = MoreTelling(failed, attempts.Start(endpoints[next++], connected));
            if (connected.valid())
                return connected;
            nextStart = WaitClock::now() + kAttemptDelay;
            continue;
        }
        if (!attempts.Pending())
            return failed != 0 ? failed : EHOSTUNREACH;
        const auto until = next < endpoints.size() ? std::min(nextStart, deadline) : deadline;
        const int waited = WaitReady(attempts.Poller(), POLLIN, until, onWait);
        if (waited == ETIMEDOUT && WaitClock::now() >= deadline)
            return MoreTelling(ETIMEDOUT, failed);
        if (waited != 0 && waited != ETIMEDOUT)
            return waited;
        if (waited == 0) {
            if (UniqueFd connected = attempts.Collect(failed); connected.valid())
                return connected;
            nextStart = WaitClock::now(); // one failed: the next address at once
        }
    }
}
