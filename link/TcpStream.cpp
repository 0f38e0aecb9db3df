#include "TcpStream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A lookup that glibc runs on a thread of its own, so that a slow name server holds up
// neither the window nor the deadline.
struct Lookup {
    std::string host;
    std::string service;
    addrinfo hints{};
    gaicb request{};
};

// A failed lookup has no errno; its number is the nearest one: a name that does not exist is a
// file that does not exist, a name server that does not answer in time a time-out.
int LookupErrorNumber(int gaiError) {
    switch (gaiError) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_FAIL:
        return ENOENT;
    case EAI_AGAIN:
        return EAGAIN;
    case EAI_MEMORY:
        return ENOMEM;
    case EAI_SYSTEM:
        return errno;
    default:
        return EINVAL;
    }
}

struct AddrinfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrinfoList = std::unique_ptr<addrinfo, AddrinfoFree>;

// One address to try.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t size = 0;
};

std::vector<Endpoint> EndpointsOf(const addrinfo* list) {
    std::vector<Endpoint> endpoints;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.address, ai->ai_addr, ai->ai_addrlen);
        endpoint.size = ai->ai_addrlen;
        endpoints.push_back(endpoint);
    }
    return endpoints;
}

std::variant<std::vector<Endpoint>, int>
LookUp(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait) {
    auto lookup = std::make_unique<Lookup>();
    lookup->host = address.host;
    lookup->service = address.service;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    if (const int error = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr))
        return LookupErrorNumber(error);
    const auto answered = [&] {
        return ::gai_error(&lookup->request) != EAI_INPROGRESS;
    };
    if (WaitUntil(answered, 1ms, deadline, onWait) != 0 && !answered()) {
        // The resolver's thread still writes into the request until it gives up: what it
        // writes to must outlive this call, so it is left to it.
        if (::gai_cancel(&lookup->request) != EAI_CANCELED)
            (void)lookup.release(); // NOLINT(bugprone-unused-return-value)
        return ETIMEDOUT;
    }
    if (const int error = ::gai_error(&lookup->request))
        return LookupErrorNumber(error);
    const AddrinfoList list(lookup->request.ar_result);
    return EndpointsOf(list.get());
}

std::variant<std::vector<Endpoint>, int>
Resolve(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait) {
    switch (KindOfHost(address.host)) {
    case HostKind::Name:
        return LookUp(address, deadline, onWait);
    case HostKind::OtherNumeric:
        return EINVAL;
    case HostKind::Address:
        break;
    }
    // An address needs no lookup (and no resolver thread).
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int error =
            ::getaddrinfo(address.host.c_str(), address.service.c_str(), &hints, &list))
        return LookupErrorNumber(error);
    const AddrinfoList owned(list);
    return EndpointsOf(owned.get());
}

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

// Tries the addresses as RFC 8305 says: the next one kAttemptDelay after the one before, or
// at once when every attempt so far has failed, all by the same deadline. The connected
// socket, or the most telling errno.
std::variant<UniqueFd, int> Race(const std::vector<Endpoint>& endpoints,
                                 WaitClock::time_point deadline, const WaitHook& onWait) {
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

} // namespace

std::variant<UniqueFd, LineFailure> CTcpStream::Connect(const RemoteAddress& address,
                                                        WaitClock::time_point deadline,
                                                        const WaitHook& onWait) {
    auto resolved = Resolve(address, deadline, onWait);
    if (const int* error = std::get_if<int>(&resolved))
        return LineFailure{LinkStep::Resolve, *error};
    const auto& endpoints = std::get<std::vector<Endpoint>>(resolved);
    if (endpoints.empty())
        return LineFailure{LinkStep::Resolve, ENOENT};
    auto raced = Race(Interleaved(endpoints), deadline, onWait);
    if (const int* error = std::get_if<int>(&raced))
        return LineFailure{LinkStep::Connect, *error};
    return std::move(std::get<UniqueFd>(raced));
}

ssize_t CTcpStream::Write(const char* data, std::size_t size) {
    const ssize_t n = ::send(m_socket.get(), data, size, MSG_NOSIGNAL);
    m_wants = POLLOUT;
    return n;
}

ssize_t CTcpStream::Read(char* data, std::size_t size) {
    const ssize_t n = ::recv(m_socket.get(), data, size, 0);
    m_wants = POLLIN;
    return n;
}

short CTcpStream::Wants() const {
    return m_wants;
}

void CTcpStream::Finish(const WaitHook& onWait) {
    if (m_finished)
        return;
    m_finished = true;
    EndInOrder(m_socket.get(), onWait);
}

void CTcpStream::EndInOrder(int fd, const WaitHook& onWait) {
    if (fd < 0 || ::shutdown(fd, SHUT_WR) != 0)
        return; // no connection left to end
    const auto deadline = WaitClock::now() + kFinishBound;
    char sink[512];
    while (WaitReady(fd, POLLIN, deadline, onWait) == 0) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}
