#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The one reading of what names a port: the four COM names, and a port on another machine.

// 0 … 3 for "COM1" … "COM4", with or without the trailing colon; none for anything else.
[[nodiscard]] std::optional<std::size_t> PortIndex(std::string_view name);

// "COM1" for "COM1:": the name as the operator sees it.
[[nodiscard]] std::string PortLabel(std::string_view portName);

// A serial port shared on the network (RFC 2217): "rfc2217://HOST:PORT", an IPv6 address in
// brackets ("rfc2217://[::1]:7000"); inside TLS "rfc2217+tls://HOST:PORT", with its options
// after a '?' ("rfc2217+tls://rack-3:7011?ca=/etc/bench/ca.pem", see TlsOptions.h).
struct RemoteAddress {
    std::string host;    // without the brackets
    std::string service; // the TCP port, digits only
    bool secure = false;
    std::string options{}; // what follows the '?' of a secured port's name, as written
};

inline constexpr std::string_view kRemoteScheme = "rfc2217://";
inline constexpr std::string_view kSecureRemoteScheme = "rfc2217+tls://";

// What the host of a remote port's name is. An address in the standard notation (IPv4 dotted
// decimal, IPv6 as RFC 4291 writes it, with a zone after '%') is connected to and checked
// against the server's certificate as that very address; a name is looked up, and checked as a
// name. The resolver reads other numeric forms as addresses too ("0177.0.0.1" as octal, "127.1",
// a bare integer), which the certificate check would read as another address or as a name:
// such a host is refused as malformed.
enum class HostKind {
    Address,
    Name,
    OtherNumeric,
};
[[nodiscard]] HostKind KindOfHost(const std::string& host);

// Whether the text is meant as a remote port: it starts with the scheme, well-formed or not.
[[nodiscard]] bool IsRemoteName(std::string_view name);
// The address, when the text is a well-formed remote port name (its host no
// HostKind::OtherNumeric).
[[nodiscard]] std::optional<RemoteAddress> ParseRemoteAddress(std::string_view name);
