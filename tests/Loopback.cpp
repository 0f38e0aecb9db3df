#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

UniqueFd ListenOnLoopback(int backlog, int& port, int family) {
    UniqueFd listener(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    address.ss_family = static_cast<sa_family_t>(family);
    if (family == AF_INET6)
        v6->sin6_addr = in6addr_loopback;
    else
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (!listener.valid() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener.get(), backlog) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return {};
    port = ntohs(family == AF_INET6 ? v6->sin6_port : v4->sin_port);
    return listener;
}
