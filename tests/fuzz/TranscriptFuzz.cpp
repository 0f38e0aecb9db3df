// The transmit step's arithmetic: NewTail against a transcript that grows, shrinks and is
// replaced, with the sent count following it as the window keeps it, and now and then a count
// out of step with it (any int at all).
#include "FuzzCheck.h"

#include <Transcript.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

enum class Step { Grow, Shrink, Replace, Count };

void CheckTail(const std::string& transcript, int nSentCount) {
    const std::string_view tail = NewTail(transcript, nSentCount);
    Require(tail.size() <= transcript.size(), "the tail is no longer than the transcript");
    Require(tail.empty() || tail.data() + tail.size() == transcript.data() + transcript.size(),
            "the tail is a suffix of the transcript itself");
    Require(tail == std::string_view(transcript).substr(transcript.size() - tail.size()),
            "the tail's bytes are the transcript's last bytes");
    // long long holds every size − count here without overflow.
    const long long growth = static_cast<long long>(transcript.size()) - nSentCount;
    const long long expected =
        nSentCount <= 0 ? static_cast<long long>(transcript.size()) : std::max(growth, 0LL);
    Require(static_cast<long long>(tail.size()) == expected,
            "the tail is as long as the transcript has grown");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFuzzInput input(data, size);
    std::string transcript;
    int nSentCount = 0;
    while (!input.Empty()) {
        const std::uint8_t op = input.Byte();
        const std::size_t n = op >> 2;
        const std::string before = transcript;
        switch (static_cast<Step>(op & 3)) {
        case Step::Grow: {
            const auto bytes = input.Bytes(n);
            transcript.append(bytes.begin(), bytes.end());
            break;
        }
        case Step::Shrink:
            transcript.resize(transcript.size() - std::min(n, transcript.size()));
            break;
        case Step::Replace: {
            const auto bytes = input.Bytes(n);
            transcript.assign(bytes.begin(), bytes.end());
            break;
        }
        case Step::Count:
            nSentCount = input.Int32();
            CheckTail(transcript, nSentCount);
            continue;
        }
        CheckTail(transcript, nSentCount);
        const std::string_view tail = NewTail(transcript, nSentCount);
        if (static_cast<Step>(op & 3) == Step::Grow &&
            nSentCount == static_cast<int>(before.size()))
            Require(tail == std::string_view(transcript).substr(before.size()),
                    "after growth the tail is exactly what was added");
        if (static_cast<Step>(op & 3) == Step::Shrink && nSentCount >= 0 &&
            static_cast<std::size_t>(nSentCount) >= before.size())
            Require(tail.empty(), "a transcript that shrank has nothing new");
        // The step then counts the whole transcript as sent, as the window does.
        nSentCount = static_cast<int>(transcript.size());
        CheckTail(transcript, nSentCount);
        Require(NewTail(transcript, nSentCount).empty(), "nothing is sent twice");
    }
    CheckTail(transcript, INT_MIN);
    CheckTail(transcript, INT_MAX);
    return 0;
}
