#pragma once

#include <string>
#include <string_view>
#include <variant>

// What a secured remote port's name says after its '?': "ca=FILE&cert=FILE&key=FILE", each at
// most once, %HH standing for a byte (%26 for '&', %25 for '%').
struct TlsOptions {
    std::string caFile;   // the CAs trusted instead of the system's store; empty: the system's
    std::string certFile; // with keyFile: the client certificate presented to the remote
    std::string keyFile;
};

// What is wrong with the options, and the item at fault as written ("speed=9600").
struct TlsOptionsError {
    enum class Fault {
        Unknown,   // no such option
        Empty,     // no file after '='
        Repeated,  // the same option twice
        CertAlone, // cert= without key=, or key= without cert= (the item is the one given)
    };
    Fault fault;
    std::string item;
};

// An empty query gives the defaults: the system's CAs, no client certificate.
[[nodiscard]] std::variant<TlsOptions, TlsOptionsError> ParseTlsOptions(std::string_view query);
