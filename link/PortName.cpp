#include "PortName.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::ranges::equal(
               text.substr(0, prefix.size()), prefix,
               [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

bool ValidTcpPort(std::string_view digits) {
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    return !digits.empty() && digits.size() <= 5 && ec == std::errc() &&
           end == digits.data() + digits.size() && port >= 1 && port <= 65535;
}

// Whether the resolver takes the host for an address without looking anything up.
bool ResolverReadsAsAddress(const std::string& host) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return false;
    ::freeaddrinfo(list);
    return true;
}

} // namespace

HostKind KindOfHost(const std::string& host) {
    unsigned char bytes[sizeof(in6_addr)];
    const std::string bare = host.substr(0, host.find('%')); // fe80::1%eth0
    const bool standard = ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
                          ::inet_pton(AF_INET6, bare.c_str(), bytes) == 1;
    if (standard) // with a zone no interface has ("fe80::1%nosuch") it is no address to use
        return ResolverReadsAsAddress(host) ? HostKind::Address : HostKind::OtherNumeric;
    return ResolverReadsAsAddress(host) ? HostKind::OtherNumeric : HostKind::Name;
}

std::optional<std::size_t> PortIndex(std::string_view name) {
    if (name.ends_with(':'))
        name.remove_suffix(1);
    if (name.size() != 4 || !name.starts_with("COM") || name[3] < '1' || name[3] > '4')
        return std::nullopt;
    return static_cast<std::size_t>(name[3] - '1');
}

std::string PortLabel(std::string_view portName) {
    if (portName.ends_with(':'))
        portName.remove_suffix(1);
    return std::string(portName);
}

bool IsRemoteName(std::string_view name) {
    return StartsWithIgnoringCase(name, kRemoteScheme) ||
           StartsWithIgnoringCase(name, kSecureRemoteScheme);
}

std::optional<RemoteAddress> ParseRemoteAddress(std::string_view name) {
    if (!IsRemoteName(name))
        return std::nullopt;
    const bool secure = StartsWithIgnoringCase(name, kSecureRemoteScheme);
    std::string_view rest = name.substr(secure ? kSecureRemoteScheme.size() : kRemoteScheme.size());
    std::string_view options;
    // Options are checked where the port is opened, so that the report names the one at fault.
    if (const std::size_t query = rest.find('?'); secure && query != std::string_view::npos) {
        options = rest.substr(query + 1);
        rest = rest.substr(0, query);
    }
    std::string_view host;
    std::string_view service;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || rest.substr(close + 1, 1) != ":")
            return std::nullopt;
        host = rest.substr(1, close - 1);
        service = rest.substr(close + 2);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.%") != std::string_view::npos)
            return std::nullopt;
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = rest.substr(0, colon);
        service = rest.substr(colon + 1);
        // A bare IPv6 address would be ambiguous; it needs its brackets.
        if (host.find_first_of(":/[]@ \t") != std::string_view::npos)
            return std::nullopt;
    }
    if (host.empty() || !ValidTcpPort(service) ||
        KindOfHost(std::string(host)) == HostKind::OtherNumeric)
        return std::nullopt;
    return RemoteAddress{std::string(host), std::string(service), secure, std::string(options)};
}
