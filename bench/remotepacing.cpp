// Measures how evenly the link paces its bytes at a remote line: it sends through ser2net (RFC
// 2217) and stamps what arrives at the far end of ser2net's serial device, once straight and
// once through a relay on this machine that holds each TCP segment back by a random 0–1 ms
// (network jitter). Prints the gaps; exits non-zero only when the measurement broke.
//
//   kelmora-remote-pacing-bench rfc2217://127.0.0.1:2217 /dev/pts/N [BYTES]
//
// The remote's device must have CTS on (a pseudo-terminal behind ser2net has not): e.g. the
// guest rig's `tests/guest/run-guest --serve`, which prints both arguments.
#include "LineTimer.h"

#include <ComPort.h>
#include <PortName.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr double kPauseMs = 3.0;

// A TCP relay on 127.0.0.1 to the remote: towards the remote each segment leaves after a random
// delay of 0–1 ms, in order (a late segment also holds back those behind it, as on a network);
// the way back is passed on at once.
class JitterRelay {
public:
    explicit JitterRelay(const RemoteAddress& remote)
        : m_remote(remote) {
        m_listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_listener.get(), 1) != 0 ||
            ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
    }

    [[nodiscard]] std::string Url() const {
        return "rfc2217://127.0.0.1:" + std::to_string(m_port);
    }

private:
    void Run(const std::stop_token& stop) {
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
            int timeoutMs = 20;
            if (!held.empty())
                timeoutMs = 0; // due within a millisecond: look again at once
            pollfd fds[] = {{client.get(), POLLIN, 0}, {server.get(), POLLIN, 0}};
            if (::poll(fds, 2, timeoutMs) <= 0)
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

    RemoteAddress m_remote;
    UniqueFd m_listener;
    int m_port = 0;
    std::jthread m_thread;
};

// Printable ASCII: no flow-control byte and no 0xFF.
std::string Pattern(std::size_t length) {
    std::string s(length, ' ');
    for (std::size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>('!' + i % 94);
    return s;
}

// Sends `text` to the remote and prints the gaps at the far end; false when it broke.
bool Measure(const char* title, const std::string& url, LineTimer& far, const std::string& text) {
    (void)far.Collect(far.Pending(), 0s);
    std::string error;
    ::setenv("KELMORA_COM1", url.c_str(), 1);
    CComPort port(
        [&](const LinkError& e) { error = "Fehlernummer " + std::to_string(e.errorNumber); },
        kPortNames[0], 38400);
    if (!error.empty() || port.SendText(text) != 0 || !error.empty()) {
        std::printf("%s: %s\n", title, error.c_str());
        return false;
    }
    const std::vector<Arrival> arrivals = far.Collect(text.size(), 5s);
    std::string received;
    std::vector<Clock::time_point> times;
    std::size_t shared = 0;
    for (const Arrival& a : arrivals) {
        received += a.byte;
        times.push_back(a.at);
        shared += a.shared ? 1 : 0;
    }
    if (received != text) {
        std::printf("%s: %zu of %zu bytes arrived, or not in order\n", title, received.size(),
                    text.size());
        return false;
    }
    std::vector<double> gaps;
    AppendGaps(times, gaps);
    const auto below = std::ranges::count_if(gaps, [](double g) { return g < kPauseMs; });
    const auto spread = SpreadOf(gaps);
    if (!spread)
        return false;
    std::printf("%-34s gaps min %.3f  median %.3f  p99 %.3f  max %.3f ms; below %.1f ms: %zd of "
                "%zu; %zu bytes read together with another\n",
                title, spread->min, spread->median, spread->p99, spread->max, kPauseMs, below,
                spread->count, shared);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "Aufruf: %s rfc2217://HOST:PORT FERNES-ENDE [BYTES]\n", argv[0]);
        return 64;
    }
    const std::string url = argv[1];
    const auto remote = ParseRemoteAddress(url);
    const std::size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 300;
    LineTimer far(argv[2]);
    if (!remote || !far.IsOpen() || bytes < 2) {
        std::fprintf(stderr, "ungültige Adresse oder fernes Ende nicht zu öffnen\n");
        return 64;
    }
    const std::string text = Pattern(bytes);
    bool ok = Measure("loopback", url, far, text);
    JitterRelay relay(*remote);
    ok = Measure("relay, 0-1 ms jitter per segment", relay.Url(), far, text) && ok;
    return ok ? 0 : 1;
}
