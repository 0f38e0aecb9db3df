// What a remote port sends is untrusted: the link's Telnet decoder must take any stream, cut
// anywhere, without crashing, hanging or growing without bound. The first byte of the input
// sets where the rest is cut.
#include "FuzzCheck.h"

#include <TelnetCodec.h>

#include <string>
#include <vector>

namespace {

struct Decoded {
    std::string data;
    std::vector<telnet::Event> events;
};

Decoded Decode(std::string_view stream, std::size_t piece) {
    telnet::CDecoder decoder;
    Decoded out;
    for (std::size_t at = 0; at < stream.size(); at += piece)
        decoder.Feed(stream.substr(at, piece), out.data, out.events);
    return out;
}

bool Same(const Decoded& a, const Decoded& b) {
    if (a.data != b.data || a.events.size() != b.events.size())
        return false;
    for (std::size_t i = 0; i < a.events.size(); ++i) {
        const auto& x = a.events[i];
        const auto& y = b.events[i];
        if (x.kind != y.kind || x.verb != y.verb || x.option != y.option ||
            x.command != y.command || x.value != y.value)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFuzzInput input(data, size);
    const std::size_t piece = input.Byte() % 16 + 1;
    const auto rest = input.Bytes(size);
    const std::string_view stream(reinterpret_cast<const char*>(rest.data()), rest.size());

    const Decoded whole = Decode(stream, stream.size() + 1);
    Require(Same(whole, Decode(stream, piece)), "cutting the stream changes nothing");
    Require(whole.data.size() <= stream.size(), "no more data than bytes");
    for (const auto& event : whole.events)
        Require(event.value.size() <= telnet::CDecoder::kMaxSubnegotiation,
                "a subnegotiation is bounded");

    // Data as the link sends it comes back unchanged.
    const Decoded echoed = Decode(telnet::EscapeData(stream), piece);
    Require(echoed.data == stream && echoed.events.empty(), "escaped data decodes to itself");
    return 0;
}
