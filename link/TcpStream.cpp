#include "TcpStream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
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

// An address given as such needs no lookup (and no resolver thread).
std::optional<Endpoint> NumericEndpoint(const RemoteAddress& address) {
    const auto port = static_cast<std::uint16_t>(std::stoul(address.service));
    Endpoint endpoint;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&endpoint.address);
    if (::inet_pton(AF_INET, address.host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        endpoint.size = sizeof(sockaddr_in);
        return endpoint;
    }
    if (::inet_pton(AF_INET6, address.host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        endpoint.size = sizeof(sockaddr_in6);
        return endpoint;
    }
    return std::nullopt;
}

std::variant<std::vector<Endpoint>, int>
Resolve(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait) {
    if (const auto numeric = NumericEndpoint(address))
        return std::vector<Endpoint>{*numeric};
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
    std::vector<Endpoint> endpoints;
    for (const addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.address, ai->ai_addr, ai->ai_addrlen);
        endpoint.size = ai->ai_addrlen;
        endpoints.push_back(endpoint);
    }
    return endpoints;
}

// One attempt at one address: 0 with the connected socket, or the errno.
int ConnectTo(const Endpoint& endpoint, WaitClock::time_point deadline, const WaitHook& onWait,
              UniqueFd& socket) {
    socket.reset(::socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          IPPROTO_TCP));
    if (!socket.valid())
        return errno;
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&endpoint.address),
                  endpoint.size) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    if (const int error = WaitReady(socket.get(), POLLOUT, deadline, onWait))
        return error;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

} // namespace

std::variant<UniqueFd, LineFailure> CTcpStream::Connect(const RemoteAddress& address,
                                                        WaitClock::time_point deadline,
                                                        const WaitHook& onWait) {
    auto resolved = Resolve(address, deadline, onWait);
    if (const int* error = std::get_if<int>(&resolved))
        return LineFailure{LinkStep::Resolve, *error};
    int error = EHOSTUNREACH;
    for (const Endpoint& endpoint : std::get<std::vector<Endpoint>>(resolved)) {
        UniqueFd socket;
        error = ConnectTo(endpoint, deadline, onWait, socket);
        if (error == 0)
            return socket;
        if (error == ETIMEDOUT)
            break;
    }
    return LineFailure{LinkStep::Connect, error};
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

void CTcpStream::Finish(int fd) {
    if (fd < 0 || ::shutdown(fd, SHUT_WR) != 0)
        return; // no connection left to end
    const auto deadline = WaitClock::now() + kFinishBound;
    char sink[512];
    while (WaitReady(fd, POLLIN, deadline, nullptr) == 0) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}
