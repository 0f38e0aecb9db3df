#include "TlsOptions.h"

#include <charconv>

namespace {

// %HH decoded; a '%' not followed by two hex digits, and %00 (no path holds it), stand for
// themselves.
std::string Decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char byte = 0;
        if (text[i] == '%' && i + 2 < text.size()) {
            const char* hex = text.data() + i + 1;
            const auto [end, ec] = std::from_chars(hex, hex + 2, byte, 16);
            if (ec == std::errc() && end == hex + 2 && byte != 0) {
                out.push_back(static_cast<char>(byte));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

} // namespace

std::variant<TlsOptions, TlsOptionsError> ParseTlsOptions(std::string_view query) {
    using Fault = TlsOptionsError::Fault;
    TlsOptions options;
    std::string certItem;
    std::string keyItem;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty())
            continue; // "a=1&&b=2", a trailing '&'
        const std::size_t eq = item.find('=');
        const std::string_view name = item.substr(0, eq);
        std::string* target = name == "ca"     ? &options.caFile
                              : name == "cert" ? &options.certFile
                              : name == "key"  ? &options.keyFile
                                               : nullptr;
        if (!target)
            return TlsOptionsError{Fault::Unknown, std::string(item)};
        if (eq == std::string_view::npos || eq + 1 == item.size())
            return TlsOptionsError{Fault::Empty, std::string(item)};
        if (!target->empty())
            return TlsOptionsError{Fault::Repeated, std::string(item)};
        *target = Decoded(item.substr(eq + 1));
        if (name == "cert")
            certItem = item;
        else if (name == "key")
            keyItem = item;
    }
    if (options.certFile.empty() != options.keyFile.empty())
        return TlsOptionsError{Fault::CertAlone, options.certFile.empty() ? keyItem : certItem};
    return options;
}
