// What a remote port sends is untrusted: the link's Telnet decoder and the session above it must
// take any stream, cut anywhere, without crashing, hanging or growing without bound, and come to
// the same state however it was cut. The first byte of the input sets where the rest is cut.
#include "FuzzCheck.h"

#include <TelnetCodec.h>
#include <TelnetSession.h>

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

// The session's state after the stream, fed in pieces of `piece` bytes.
std::string SessionState(std::string_view stream, std::size_t piece) {
    telnet::CSession session;
    session.Greet();
    session.RequestSettings(38400);
    session.Sent(session.Output().size());
    for (std::size_t at = 0; at < stream.size(); at += piece)
        session.Feed(stream.substr(at, piece));
    // Each question is answered once: two verbs for each of 256 options, three bytes each.
    Require(session.Output().size() <= std::size_t{2} * 256 * 3, "answers are bounded");
    Require(session.Words().size() <= telnet::CSession::kWordsKept, "words are bounded");
    return std::to_string(session.Agreed()) + std::to_string(session.Refused()) +
           std::to_string(session.Configured()) +
           std::to_string(static_cast<int>(session.RefusedSetting())) +
           std::to_string(static_cast<int>(session.Held())) + "|" + session.Output() + "|" +
           session.Words();
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

    Require(SessionState(stream, stream.size() + 1) == SessionState(stream, piece),
            "cutting the stream changes no decision of the session");

    // Data as the link sends it comes back unchanged.
    const Decoded echoed = Decode(telnet::EscapeData(stream), piece);
    Require(echoed.data == stream && echoed.events.empty(), "escaped data decodes to itself");
    return 0;
}
