#include "Transcript.h"

#include "Windows1252.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <array>
#include <climits>
#include <optional>

namespace {

struct Encoding {
    std::u32string_view text;
    std::string_view bytes;
};

TEST(TranscriptBytes, EveryLineBreakGoesOutAsCrLf) {
    const Encoding cases[] = {
        {U"a\nb", "a\r\nb"},     {U"a\r\nb", "a\r\nb"},   {U"a\rb", "a\r\nb"},
        {U"a\u2029b", "a\r\nb"}, {U"a\u2028b", "a\r\nb"}, {U"\r", "\r\n"},
        {U"\r\r\n", "\r\n\r\n"}, {U"\n\r", "\r\n\r\n"},   {U"\r\n\n", "\r\n\r\n"},
        {U"\n\n", "\r\n\r\n"},   {U"\t x", "\t x"},       {U"", ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ToTranscriptBytes(cases[i].text), cases[i].bytes) << "case " << i;
    }
}

TEST(TranscriptBytes, CharactersBecomeOneWindows1252ByteOrQuestionMark) {
    const Encoding cases[] = {
        {U"üÄß€", "\xFC\xC4\xDF\x80"},
        {U"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
        {U"„Gruß“ – …", "\x84Gru\xDF\x93 \x96 \x85"},
        // One "?" per code point: an emoji is one code point however the widget stores it.
        {U"a中😀b", "a??b"},
        {U"\u0080\u0100\uFFFD\U0010FFFF", "????"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ToTranscriptBytes(cases[i].text), cases[i].bytes) << "case " << i;
}

// One Windows-1252 byte decoded by the C library's converter; none where it is undefined.
std::optional<char32_t> DecodeWithCLibrary(iconv_t cd, unsigned char byte) {
    char in = static_cast<char>(byte);
    wchar_t out = 0;
    char* inPtr = &in;
    auto* outPtr = reinterpret_cast<char*>(&out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;
    return static_cast<char32_t>(out);
}

// Together: every byte has exactly one code point, and it is the one the C library's code page
// gives it (the five undefined bytes: the control character of the same number).
TEST(Windows1252, MatchesTheCLibraryCodePageAndNothingElseHasAByte) {
    iconv_t cd = iconv_open("WCHAR_T", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr): its failure value
        GTEST_SKIP() << "the C library has no CP1252 converter";
    std::u32string undefined;
    for (int byte = 0; byte < 256; ++byte) {
        const auto decoded = DecodeWithCLibrary(cd, static_cast<unsigned char>(byte));
        if (!decoded)
            undefined += static_cast<char32_t>(byte);
        EXPECT_EQ(ToWindows1252(decoded.value_or(static_cast<char32_t>(byte))), byte);
    }
    iconv_close(cd);
    EXPECT_EQ(undefined, U"\u0081\u008D\u008F\u0090\u009D");

    std::array<int, 256> codePointsPerByte{};
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (const auto byte = ToWindows1252(c))
            ++codePointsPerByte[*byte];
    }
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(codePointsPerByte[byte], 1) << "byte " << byte;
}

TEST(NewTail, IsTheRightmostSizeMinusCountBytes) {
    const struct {
        int nSentCount;
        std::string_view tail;
    } cases[] = {
        {0, "abc"}, {1, "bc"},   {2, "c"},      {3, ""},
        {4, ""},    {-1, "abc"}, {INT_MAX, ""}, {INT_MIN, "abc"},
    };
    for (const auto& [nSentCount, tail] : cases)
        EXPECT_EQ(NewTail("abc", nSentCount), tail) << "count " << nSentCount;
    EXPECT_EQ(NewTail("", 0), "");
    EXPECT_EQ(NewTail("", INT_MIN), "");
}

} // namespace
