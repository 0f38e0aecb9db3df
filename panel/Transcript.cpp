#include "Transcript.h"

#include "Windows1252.h"

std::string ToTranscriptBytes(std::u32string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        // A lone CR is a line break of its own (old Mac text pasted in), so it goes out as CR LF
        // like every other break; CR LF stays one break.
        if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n')
            ++i;
        if (c == U'\r' || c == U'\n' || c == U'\u2028' || c == U'\u2029') {
            bytes += "\r\n";
            continue;
        }
        const auto byte = ToWindows1252(c);
        bytes += byte ? static_cast<char>(*byte) : '?';
    }
    return bytes;
}

std::string_view NewTail(std::string_view transcript, int nSentCount) {
    // Compared as size_t, never subtracted as int: no overflow for any count or length.
    if (nSentCount <= 0)
        return transcript;
    const auto sent = static_cast<std::size_t>(nSentCount);
    if (sent >= transcript.size())
        return {};
    return transcript.substr(sent);
}
