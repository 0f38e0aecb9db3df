#include "Utf8.h"

namespace {

constexpr char32_t kReplacement = U'\uFFFD';

// Length of the sequence a lead byte opens, 0 for a byte that cannot lead one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0; // continuation byte, the overlong leads C0/C1, or F5..FF
}

} // namespace

std::u32string DecodeUtf8(std::string_view bytes) {
    std::u32string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = SequenceLength(lead);
        if (length == 1) {
            text += lead;
            ++i;
            continue;
        }
        bool wellFormed = length > 0 && i + length <= bytes.size();
        char32_t c = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (int k = 1; wellFormed && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            wellFormed = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // The shortest form only, no surrogates, nothing past the last code point.
        const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        wellFormed = wellFormed && !overlong && !surrogate && c <= 0x10FFFF;
        if (wellFormed) {
            text += c;
            i += length;
        } else {
            text += kReplacement;
            ++i;
        }
    }
    return text;
}
