#include "TcpStream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

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

std::variant<AddrinfoList, int> Resolve(const RemoteAddress& address,
                                        WaitClock::time_point deadline, const WaitHook& onWait) {
    auto lookup = std::make_unique<Lookup>();
    lookup->host = address.host;
    lookup->service = address.service;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
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
    return AddrinfoList(lookup->request.ar_result);
}

// One attempt at one address: 0 with the connected socket, or the errno.
int ConnectTo(const addrinfo& ai, WaitClock::time_point deadline, const WaitHook& onWait,
              UniqueFd& socket) {
    socket.reset(
        ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol));
    if (!socket.valid())
        return errno;
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(socket.get(), ai.ai_addr, ai.ai_addrlen) == 0)
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
    for (const addrinfo* ai = std::get<AddrinfoList>(resolved).get(); ai; ai = ai->ai_next) {
        UniqueFd socket;
        error = ConnectTo(*ai, deadline, onWait, socket);
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
