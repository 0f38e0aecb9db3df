#include "TcpStream.h"

#include "ConnectRace.h"
#include "HostLookup.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

std::variant<UniqueFd, LineFailure> CTcpStream::Connect(const RemoteAddress& address,
                                                        WaitClock::time_point deadline,
                                                        const WaitHook& onWait) {
    auto resolved = ResolveHost(address, deadline, onWait);
    if (const int* error = std::get_if<int>(&resolved))
        return LineFailure{LinkStep::Resolve, *error};
    const auto& endpoints = std::get<std::vector<Endpoint>>(resolved);
    if (endpoints.empty())
        return LineFailure{LinkStep::Resolve, ENOENT};
    auto raced = RaceConnections(endpoints, deadline, onWait);
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
