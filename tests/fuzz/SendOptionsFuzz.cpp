// kelmora-send's untrusted input: its arguments and its standard input. The input is standard
// input as it stands and, cut at every NUL byte, the argument list.
#include "FuzzCheck.h"

#include <SendOptions.h>
#include <Transcript.h>
#include <Utf8.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void CheckText(std::string_view input) {
    const std::u32string text = DecodeUtf8(input);
    Require(text.size() <= input.size(), "no more characters than bytes");
    for (const char32_t c : text)
        Require(c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF), "only Unicode scalar values");
    const std::string encoded = EncodeUtf8(text);
    if (text.find(U'\uFFFD') == std::u32string::npos)
        Require(encoded == input, "well-formed UTF-8 decodes to exactly what it encodes");
    Require(DecodeUtf8(encoded) == text, "decoding what was decoded changes nothing");

    const std::string bytes = ToTranscriptBytes(text);
    Require(bytes.size() <= 2 * input.size(), "an item is never longer than twice its input");
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r')
            Require(i + 1 < bytes.size() && bytes[i + 1] == '\n', "CR only before LF");
        if (bytes[i] == '\n')
            Require(i > 0 && bytes[i - 1] == '\r', "LF only after CR");
    }
}

bool SameOutcome(const std::variant<SendOptions, UsageError>& a,
                 const std::variant<SendOptions, UsageError>& b) {
    if (a.index() != b.index())
        return false;
    if (const auto* error = std::get_if<UsageError>(&a))
        return error->message == std::get<UsageError>(b).message;
    const auto& x = std::get<SendOptions>(a);
    const auto& y = std::get<SendOptions>(b);
    const auto sameItem = [](const SendItem& i, const SendItem& j) {
        return i.fromStandardInput == j.fromStandardInput && i.bytes == j.bytes;
    };
    return x.action == y.action && x.baud == y.baud &&
           std::string_view(x.port.portName) == std::string_view(y.port.portName) &&
           x.port.device == y.port.device && std::ranges::equal(x.items, y.items, sameItem);
}

void CheckOptions(std::span<const std::string_view> args) {
    const auto outcome = ParseSendOptions(args);
    Require(SameOutcome(outcome, ParseSendOptions(args)), "parsing twice gives the same result");
    if (const auto* error = std::get_if<UsageError>(&outcome)) {
        Require(!error->message.empty(), "a usage error says what is wrong");
        return;
    }
    const auto& options = std::get<SendOptions>(outcome);
    std::size_t longest = 0;
    std::size_t total = 0;
    for (const std::string_view arg : args) {
        longest = std::max(longest, arg.size());
        total += arg.size();
    }
    std::size_t sent = 0;
    for (const SendItem& item : options.items) {
        if (item.fromStandardInput)
            Require(item.bytes.empty(), "standard input is read later, not parsed");
        Require(item.bytes.size() <= 2 * longest, "an item is never longer than twice its input");
        sent += item.bytes.size();
    }
    Require(sent <= 2 * total, "the items are never longer than twice the arguments");
    if (options.action == SendAction::Send)
        Require(!options.items.empty(), "a send has something to send");
    if (options.action == SendAction::List)
        Require(options.items.empty(), "a listing sends nothing");
    constexpr std::array kBauds = {2400, 9600, 14400, 19200, 38400};
    Require(std::ranges::find(kBauds, options.baud) != kBauds.end(), "a speed the window offers");
    const std::string_view port = options.port.portName ? options.port.portName : "";
    Require(std::ranges::find(kPortNames, port) != kPortNames.end(), "one of the four names");
    if (!options.port.device.empty())
        Require(port == kPortNames[0], "a device by path goes behind COM1");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckText(input);

    // Each argument in a heap block of its own and exactly its size, so that a read past its end
    // is caught even where the next argument follows.
    std::vector<std::vector<char>> storage;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        storage.emplace_back(input.begin() + static_cast<std::ptrdiff_t>(start),
                             input.begin() + static_cast<std::ptrdiff_t>(end));
        if (end == input.size())
            break;
        start = end + 1;
    }
    std::vector<std::string_view> args;
    for (const auto& arg : storage)
        args.emplace_back(arg.data(), arg.size());
    if (size == 0)
        args.clear();
    CheckOptions(args);
    return 0;
}
